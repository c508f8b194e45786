// Download throughput on loopback, against curl in the same run: a 200 MiB body over HTTP
// from the project's test HTTP server (through the proxy settings), the same size in 1 MiB
// chunks (Transfer-Encoding: chunked), and a 100 MiB body over HTTPS from the TLS test
// server, its test authority trusted through SSL_CERT_FILE. Each is
// fetched by `velmora --console` running a one-line download script, by curl, and by the
// download worker called directly, alternating, three rounds. Prints MiB/s for each (best
// round) and the program's rate as a share of curl's.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "http_test_server.h"
#include "net/download/worker.h"
#include "tls_test_server.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr std::uint64_t kHttpBody = 200ull << 20;
constexpr std::uint64_t kHttpsBody = 100ull << 20;
constexpr std::uint64_t kChunk = 1ull << 20;  // "100000" in the size lines
constexpr int kRounds = 3;

// Runs a program to its end with its output discarded; false unless it exits with 0.
bool Run(const std::vector<std::string>& argv, const std::string& home) {
    std::fflush(stdout);  // or the child's copy of the buffer is printed again
    pid_t pid = fork();
    if (pid == 0) {
        if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(127);
        if (!home.empty()) setenv("VELMORA_HOME", home.c_str(), 1);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Client {
    const char* name;
    std::function<bool()> fetch;
};

// Best seconds of each client over the rounds, or a negative number when one failed or
// left a file of the wrong size.
std::vector<double> Measure(const fs::path& file, std::uint64_t size,
                            const std::vector<Client>& clients) {
    std::vector<double> best(clients.size(), 1e9);
    for (int round = 0; round < kRounds; ++round) {
        for (size_t i = 0; i < clients.size(); ++i) {
            fs::remove(file);
            Clock::time_point start = Clock::now();
            bool ok = clients[i].fetch();
            double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            std::error_code ec;
            ok = ok && fs::file_size(file, ec) == size;
            fs::remove(file);
            best[i] = ok && best[i] >= 0 ? std::min(best[i], seconds) : -1;
        }
    }
    return best;
}

bool Print(const char* title, std::uint64_t size, const std::vector<Client>& clients,
           const std::vector<double>& best) {
    if (std::any_of(best.begin(), best.end(), [](double s) { return s < 0; })) {
        std::printf("%s: a download failed (is curl installed?)\n", title);
        return false;
    }
    std::printf("%s, %llu MiB from loopback, best of %d rounds\n", title,
                static_cast<unsigned long long>(size >> 20), kRounds);
    for (size_t i = 0; i < clients.size(); ++i)
        std::printf("  %-28s %8.1f MiB/s (%.3f s)\n", clients[i].name, size / 1048576.0 / best[i],
                    best[i]);
    std::printf("  %-28s %8.2f\n", "velmora / curl:", best[1] / best[0]);
    return true;
}

}  // namespace

int main() {
    using namespace velmora;
    fs::path dir = fs::temp_directory_path() / ("velmora-bench-" + std::to_string(getpid()));
    const fs::path out = dir / "body.bin";
    const fs::path plainHome = dir / "http", secureHome = dir / "https";
    fs::create_directories(plainHome);
    fs::create_directories(secureHome);
    const std::string velmora = VELMORA_BIN_DIR "/velmora";

    test::HttpTestServer server({test::Send("HTTP/1.0 200 OK\r\n\r\n"), test::Stream(kHttpBody)});
    if (!server.listening()) return std::perror("listen"), 1;
    const std::string port = std::to_string(server.port());
    std::ofstream(plainHome / "code.txt")
        << "[main]\ndownload,http://bench.test/big," << out.string() << "\nexit\n";
    std::ofstream(plainHome / "variable.txt")
        << "[default]\nproxy=127.0.0.1\nproxyport=" << port << "\n";
    const std::vector<Client> plain = {
        {"velmora --console download:",
         [&] {
             return Run({velmora, "--console"}, plainHome);
         }},
        {"curl:",
         [&] {
             return Run({"curl", "-s", "-o", out.string(), "http://127.0.0.1:" + port + "/big"},
                        "");
         }},
        {"download worker alone:",
         [&] {
             DownloadProgress progress;
             return RunDownload({"http://bench.test/big", out, "127.0.0.1", port}, progress).ok;
         }},
    };
    bool ok = Print("HTTP", kHttpBody, plain, Measure(out, kHttpBody, plain));

    // The same body in chunks, the size lines and line ends between them taken out in place.
    std::vector<test::Step> chunked{
        test::Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")};
    for (std::uint64_t at = 0; at < kHttpBody; at += kChunk)
        chunked.insert(chunked.end(),
                       {test::Send("100000\r\n"), test::Stream(kChunk), test::Send("\r\n")});
    chunked.push_back(test::Send("0\r\n\r\n"));
    test::HttpTestServer chunkServer(chunked);
    if (!chunkServer.listening()) return std::perror("listen"), 1;
    const std::string chunkPort = std::to_string(chunkServer.port());
    std::ofstream(plainHome / "variable.txt")
        << "[default]\nproxy=127.0.0.1\nproxyport=" << chunkPort << "\n";
    const std::vector<Client> inChunks = {
        plain[0],
        {"curl:",
         [&] {
             return Run(
                 {"curl", "-s", "-o", out.string(), "http://127.0.0.1:" + chunkPort + "/big"}, "");
         }},
        {"download worker alone:",
         [&] {
             DownloadProgress progress;
             return RunDownload({"http://bench.test/big", out, "127.0.0.1", chunkPort}, progress)
                 .ok;
         }},
    };
    ok = Print("HTTP, chunked", kHttpBody, inChunks, Measure(out, kHttpBody, inChunks)) && ok;

    test::TestAuthority authority;
    const fs::path trusted = dir / "authority.pem";
    std::ofstream(trusted) << authority.pem();
    setenv("SSL_CERT_FILE", trusted.c_str(), 1);  // for the worker and the program alike
    test::TlsTestServer tls(authority.issue("IP:127.0.0.1"),
                            {test::Send("HTTP/1.0 200 OK\r\nContent-Length: " +
                                        std::to_string(kHttpsBody) + "\r\n\r\n"),
                             test::Stream(kHttpsBody)});
    if (!tls.listening()) return std::perror("tls listen"), 1;
    const std::string url = "https://127.0.0.1:" + std::to_string(tls.port()) + "/big";
    std::ofstream(secureHome / "code.txt")
        << "[main]\ndownload," << url << "," << out.string() << "\nexit\n";
    std::ofstream(secureHome / "variable.txt") << "[default]\n";
    const std::vector<Client> secure = {
        {"velmora --console download:",
         [&] {
             return Run({velmora, "--console"}, secureHome);
         }},
        {"curl:",
         [&] {
             return Run({"curl", "-s", "--cacert", trusted, "-o", out, url}, "");
         }},
        {"download worker alone:",
         [&] {
             DownloadProgress progress;
             return RunDownload({url, out, "", ""}, progress).ok;
         }},
    };
    ok = Print("HTTPS", kHttpsBody, secure, Measure(out, kHttpsBody, secure)) && ok;
    fs::remove_all(dir);
    return ok ? 0 : 1;
}
