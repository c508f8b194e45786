// TLS and proxy counterparts of the test HTTP server, for the download tests and benchmark:
// a test authority and certificates made at run time, a TLS server on a free loopback port
// that plays the same scripts of steps, and a CONNECT proxy that tunnels to loopback ports.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "http_test_server.h"

struct ssl_ctx_st;  // OpenSSL's SSL_CTX
struct ssl_st;      // OpenSSL's SSL

namespace velmora::test {

struct TestCertificate {
    std::string certificate;  // PEM
    std::string key;          // PEM
};

// A certificate authority made fresh for one test; trust it through SSL_CERT_FILE.
class TestAuthority {
public:
    TestAuthority();
    const std::string& pem() const { return own_.certificate; }
    // A server certificate for subjectAltName entries such as "IP:127.0.0.1,DNS:localhost".
    TestCertificate issue(const std::string& altNames) const;
    // A certificate for the same kind of names that signs itself: no one trusts it.
    static TestCertificate selfSigned(const std::string& altNames);

private:
    TestCertificate own_;
};

// Serves each connection on 127.0.0.1 over TLS with the certificate, one after another.
class TlsTestServer {
public:
    TlsTestServer(const TestCertificate& certificate, std::vector<Step> script);
    ~TlsTestServer();
    TlsTestServer(const TlsTestServer&) = delete;
    TlsTestServer& operator=(const TlsTestServer&) = delete;

    bool listening() const { return listenFd_ >= 0 && context_; }
    int port() const { return port_; }
    std::vector<std::string> requests() const;  // as received, in order
    int connections() const { return connections_.load(); }

private:
    void serve();
    void answer(ssl_st* ssl, int fd);

    std::vector<Step> script_;
    ssl_ctx_st* context_ = nullptr;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// Answers "CONNECT 127.0.0.1:<port>" (or localhost) with 200 and relays bytes both ways
// until either side closes; refuses every other request.
class ConnectProxy {
public:
    ConnectProxy();
    ~ConnectProxy();
    ConnectProxy(const ConnectProxy&) = delete;
    ConnectProxy& operator=(const ConnectProxy&) = delete;

    bool listening() const { return listenFd_ >= 0; }
    int port() const { return port_; }
    std::vector<std::string> requests() const;  // the request heads, in order

private:
    void serve();
    void relay(int client);

    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace velmora::test
