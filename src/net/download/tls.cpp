// OpenSSL under the download worker. Every call is non-blocking; the worker does the waits,
// so its time-outs and cancel work the same over TLS as over plain sockets.
#include "net/download/tls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <optional>

namespace velmora {

struct TlsSession::State {
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    // The stream ended (or failed) after bytes that were handed out first.
    std::optional<Io> end;
    ~State() {
        if (ssl) SSL_free(ssl);
        if (context) SSL_CTX_free(context);
    }
};

namespace {

// SSL_CERT_FILE replaces the trusted set, as it does for OpenSSL's own tools, Python and Go;
// SSL_CERT_DIR adds a folder of hashed certificates.
bool LoadTrust(SSL_CTX* context) {
    const char* file = std::getenv("SSL_CERT_FILE");
    const char* dir = std::getenv("SSL_CERT_DIR");
    if (!file || !*file) return SSL_CTX_set_default_verify_paths(context) == 1;
    return SSL_CTX_load_verify_locations(context, file, dir && *dir ? dir : nullptr) == 1;
}

TlsSession::Io Classify(SSL* ssl, int result) {
    switch (SSL_get_error(ssl, result)) {
        case SSL_ERROR_WANT_READ:
            return TlsSession::Io::WantRead;
        case SSL_ERROR_WANT_WRITE:
            return TlsSession::Io::WantWrite;
        case SSL_ERROR_ZERO_RETURN:
            return TlsSession::Io::Closed;
        default:
            return TlsSession::Io::Failed;
    }
}

}  // namespace

TlsSession::TlsSession() : state_(std::make_unique<State>()) {}
TlsSession::~TlsSession() = default;

bool TlsSession::start(int fd, const std::string& server) {
    ERR_clear_error();
    state_->context = SSL_CTX_new(TLS_client_method());
    SSL_CTX* context = state_->context;
    if (!context || SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) != 1) return false;
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    // Without trust every certificate fails to verify, which is the failure to report.
    LoadTrust(context);
    // A server that closes without TLS's own close is common; a body with an announced length
    // is still checked for completeness by the worker.
    SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (server.empty()) return false;  // nothing to check the certificate against
    state_->ssl = SSL_new(context);
    SSL* ssl = state_->ssl;
    if (!ssl || SSL_set_fd(ssl, fd) != 1) return false;
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    // An address is checked against the certificate's IP entries and sent with no name.
    if (X509_VERIFY_PARAM_set1_ip_asc(param, server.c_str()) == 1) return true;
    return X509_VERIFY_PARAM_set1_host(param, server.c_str(), server.size()) == 1 &&
           SSL_set_tlsext_host_name(ssl, server.c_str()) == 1;
}

TlsSession::Io TlsSession::handshake() {
    ERR_clear_error();
    int result = SSL_connect(state_->ssl);
    if (result == 1) return Io::Done;
    Io io = Classify(state_->ssl, result);
    if (io == Io::WantRead || io == Io::WantWrite) return io;
    certificateRejected_ = SSL_get_verify_result(state_->ssl) != X509_V_OK;
    return Io::Failed;
}

TlsSession::Io TlsSession::read(char* data, size_t n, size_t& moved) {
    moved = 0;
    if (state_->end) return *state_->end;
    // Several records at a time, so the file gets large writes.
    while (moved < n) {
        ERR_clear_error();
        size_t got = 0;
        int result = SSL_read_ex(state_->ssl, data + moved, n - moved, &got);
        if (result == 1) {
            moved += got;
            continue;
        }
        Io io = Classify(state_->ssl, result);
        if (moved == 0) return io;
        if (io == Io::Closed || io == Io::Failed) state_->end = io;
        break;
    }
    return Io::Done;
}

TlsSession::Io TlsSession::write(const char* data, size_t n, size_t& moved) {
    moved = 0;
    ERR_clear_error();
    int result = SSL_write_ex(state_->ssl, data, n, &moved);
    if (result == 1) return Io::Done;
    return Classify(state_->ssl, result);
}

}  // namespace velmora
