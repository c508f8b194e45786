// The TLS test server, its certificates and the CONNECT proxy: OpenSSL and POSIX sockets,
// polled in short slices so that they stop quickly.
#include "tls_test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "wait.h"

namespace velmora::test {

namespace {

constexpr int kSlice = 20;  // ms between looks at the stop flag

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;
using Bio = std::unique_ptr<BIO, decltype(&BIO_free)>;

Key NewKey() {
    return {EVP_EC_gen("P-256"), EVP_PKEY_free};
}

void AddExtension(X509* certificate, X509V3_CTX* ctx, int nid, const char* value) {
    X509_EXTENSION* e = X509V3_EXT_conf_nid(nullptr, ctx, nid, value);
    if (!e) return;
    X509_add_ext(certificate, e, -1);
    X509_EXTENSION_free(e);
}

// A certificate for key, signed by the issuer (or by itself when there is none).
Certificate Make(EVP_PKEY* key, const std::string& commonName, X509* issuer, EVP_PKEY* issuerKey,
                 const std::string& altNames) {
    Certificate c(X509_new(), X509_free);
    X509_set_version(c.get(), 2);
    unsigned char serial[8];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(c.get()));
    BN_free(bn);
    X509_gmtime_adj(X509_getm_notBefore(c.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(c.get()), 86400);
    X509_set_pubkey(c.get(), key);
    X509_NAME* name = X509_get_subject_name(c.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(c.get(), issuer ? X509_get_subject_name(issuer) : name);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer ? issuer : c.get(), c.get(), nullptr, nullptr, 0);
    bool authority = altNames.empty();
    AddExtension(c.get(), &ctx, NID_basic_constraints,
                 authority ? "critical,CA:TRUE" : "critical,CA:FALSE");
    AddExtension(c.get(), &ctx, NID_key_usage,
                 authority ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature");
    AddExtension(c.get(), &ctx, NID_subject_key_identifier, "hash");
    AddExtension(c.get(), &ctx, NID_authority_key_identifier, "keyid");
    if (!authority) {
        AddExtension(c.get(), &ctx, NID_subject_alt_name, altNames.c_str());
        AddExtension(c.get(), &ctx, NID_ext_key_usage, "serverAuth");
    }
    X509_sign(c.get(), issuerKey ? issuerKey : key, EVP_sha256());
    return c;
}

std::string Text(BIO* bio) {
    char* data = nullptr;
    long n = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<size_t>(n));
}

TestCertificate ToPem(X509* certificate, EVP_PKEY* key) {
    Bio c(BIO_new(BIO_s_mem()), BIO_free), k(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_X509(c.get(), certificate);
    PEM_write_bio_PrivateKey(k.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
    return {Text(c.get()), Text(k.get())};
}

Certificate ReadCertificate(const std::string& pem) {
    Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
    return {PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr), X509_free};
}

Key ReadKey(const std::string& pem) {
    Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
    return {PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr), EVP_PKEY_free};
}

int ListenOnLoopback(int& port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || listen(fd, 16) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        close(fd);
        return -1;
    }
    port = ntohs(a.sin_port);
    return fd;
}

// Waits for the events on fd in slices; false when stopped first.
bool WaitFor(int fd, short events, const std::atomic<bool>& stop) {
    while (!stop) {
        pollfd p{fd, events, 0};
        if (poll(&p, 1, kSlice) > 0) return true;
    }
    return false;
}

int Accept(int listenFd, const std::atomic<bool>& stop) {
    if (!WaitFor(listenFd, POLLIN, stop)) return -1;
    return accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
}

// Repeats one non-blocking TLS call until it succeeds, waiting as it asks; false on failure.
template <typename Call>
bool Drive(SSL* ssl, int fd, const std::atomic<bool>& stop, Call call) {
    for (;;) {
        ERR_clear_error();
        int r = call();
        if (r > 0) return true;
        int error = SSL_get_error(ssl, r);
        short events = error == SSL_ERROR_WANT_READ    ? POLLIN
                       : error == SSL_ERROR_WANT_WRITE ? POLLOUT
                                                       : 0;
        if (!events || !WaitFor(fd, events, stop)) return false;
    }
}

bool WriteAll(SSL* ssl, int fd, const std::atomic<bool>& stop, const char* data, size_t n) {
    constexpr size_t kPiece = 1 << 20;
    for (size_t at = 0; at < n; at += kPiece) {
        int piece = static_cast<int>(std::min(kPiece, n - at));
        if (!Drive(ssl, fd, stop, [&] { return SSL_write(ssl, data + at, piece); })) return false;
    }
    return true;
}

bool HeadEnded(const std::string& s) {
    return s.find("\n\n") != std::string::npos || s.find("\r\n\r\n") != std::string::npos;
}

}  // namespace

TestAuthority::TestAuthority() {
    Key key = NewKey();
    Certificate c = Make(key.get(), "velmora test authority", nullptr, nullptr, "");
    own_ = ToPem(c.get(), key.get());
}

TestCertificate TestAuthority::issue(const std::string& altNames) const {
    Certificate issuer = ReadCertificate(own_.certificate);
    Key issuerKey = ReadKey(own_.key);
    Key key = NewKey();
    Certificate c = Make(key.get(), "velmora test server", issuer.get(), issuerKey.get(), altNames);
    return ToPem(c.get(), key.get());
}

TestCertificate TestAuthority::selfSigned(const std::string& altNames) {
    Key key = NewKey();
    Certificate c = Make(key.get(), "velmora untrusted server", nullptr, nullptr, altNames);
    return ToPem(c.get(), key.get());
}

TlsTestServer::TlsTestServer(const TestCertificate& certificate, std::vector<Step> script)
    : script_(std::move(script)) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    Certificate c = ReadCertificate(certificate.certificate);
    Key key = ReadKey(certificate.key);
    if (!context || !c || !key || SSL_CTX_use_certificate(context, c.get()) != 1 ||
        SSL_CTX_use_PrivateKey(context, key.get()) != 1) {
        SSL_CTX_free(context);
        return;
    }
    context_ = context;
    listenFd_ = ListenOnLoopback(port_);
    if (listenFd_ >= 0) thread_ = std::thread([this] { serve(); });
}

TlsTestServer::~TlsTestServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listenFd_ >= 0) close(listenFd_);
    SSL_CTX_free(context_);
}

std::vector<std::string> TlsTestServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void TlsTestServer::serve() {
    while (!stop_) {
        int fd = Accept(listenFd_, stop_);
        if (fd < 0) continue;
        ++connections_;
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        SSL* ssl = SSL_new(context_);
        SSL_set_fd(ssl, fd);
        answer(ssl, fd);
        SSL_free(ssl);
        shutdown(fd, SHUT_RDWR);
        close(fd);
    }
}

void TlsTestServer::answer(SSL* ssl, int fd) {
    if (!Drive(ssl, fd, stop_, [&] { return SSL_accept(ssl); })) return;
    std::string request;
    char buf[4096];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(test::kPatientMs);
    while (!HeadEnded(request) && std::chrono::steady_clock::now() < deadline) {
        size_t got = 0;
        if (!Drive(ssl, fd, stop_, [&] { return SSL_read_ex(ssl, buf, sizeof buf, &got); })) break;
        request.append(buf, got);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }
    static const std::string pattern = PatternBytes(kPatternPeriod + (1 << 20));
    for (const Step& step : script_) {
        switch (step.kind) {
            case Step::Kind::Send:
                if (!WriteAll(ssl, fd, stop_, step.bytes.data(), step.bytes.size())) return;
                break;
            case Step::Kind::Pause: {
                auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(step.ms);
                while (!stop_ && std::chrono::steady_clock::now() < end)
                    std::this_thread::sleep_for(std::chrono::milliseconds(kSlice));
                break;
            }
            case Step::Kind::Stream:
                for (std::uint64_t done = 0; done < step.size;) {
                    size_t n =
                        static_cast<size_t>(std::min<std::uint64_t>(1 << 20, step.size - done));
                    if (!WriteAll(ssl, fd, stop_, pattern.data() + done % kPatternPeriod, n))
                        return;
                    done += n;
                }
                break;
            case Step::Kind::Silence: {
                size_t got = 0;
                while (Drive(ssl, fd, stop_,
                             [&] { return SSL_read_ex(ssl, buf, sizeof buf, &got); })) {
                }
                return;
            }
        }
    }
    SSL_shutdown(ssl);  // the close TLS expects; the client may have gone already
}

ConnectProxy::ConnectProxy() {
    listenFd_ = ListenOnLoopback(port_);
    if (listenFd_ >= 0) thread_ = std::thread([this] { serve(); });
}

ConnectProxy::~ConnectProxy() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listenFd_ >= 0) close(listenFd_);
}

std::vector<std::string> ConnectProxy::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void ConnectProxy::serve() {
    while (!stop_) {
        int fd = Accept(listenFd_, stop_);
        if (fd < 0) continue;
        relay(fd);
        close(fd);
    }
}

void ConnectProxy::relay(int client) {
    std::string head;
    char buf[1 << 16];
    while (!HeadEnded(head) && WaitFor(client, POLLIN, stop_)) {
        ssize_t n = recv(client, buf, sizeof buf, 0);
        if (n <= 0) return;
        head.append(buf, static_cast<size_t>(n));
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(head);
    }
    int port = 0;
    for (const char* prefix : {"CONNECT 127.0.0.1:", "CONNECT localhost:"})
        if (head.rfind(prefix, 0) == 0) port = std::atoi(head.c_str() + std::strlen(prefix));
    int server = port > 0 ? socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (server < 0 || connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        static const char refused[] = "HTTP/1.1 403 Forbidden\r\n\r\n";
        send(client, refused, sizeof refused - 1, MSG_NOSIGNAL);
        if (server >= 0) close(server);
        return;
    }
    static const char ok[] = "HTTP/1.1 200 Connection established\r\n\r\n";
    send(client, ok, sizeof ok - 1, MSG_NOSIGNAL);
    // Blocking sends, non-blocking receives: each side reads what the other sends.
    fcntl(client, F_SETFL, fcntl(client, F_GETFL) & ~O_NONBLOCK);
    pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    bool open = true;
    while (open && !stop_) {
        if (poll(p, 2, kSlice) <= 0) continue;
        for (int i = 0; i < 2 && open; ++i) {
            if (!p[i].revents) continue;
            ssize_t n = recv(p[i].fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
            open = n > 0;
            for (ssize_t at = 0; open && at < n;) {
                ssize_t s = send(p[1 - i].fd, buf + at, static_cast<size_t>(n - at), MSG_NOSIGNAL);
                open = s > 0;
                at += s;
            }
        }
    }
    shutdown(server, SHUT_RDWR);
    close(server);
}

}  // namespace velmora::test
