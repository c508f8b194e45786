// Download throughput: a 200 MiB body from the project's test HTTP server on loopback,
// fetched by `velmora --console` running a one-line download script, by curl, and by
// the download worker called directly, alternating, three rounds. Prints MiB/s for each
// (best round) and the program's rate as a share of curl's.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "http_test_server.h"
#include "net/download_worker.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr std::uint64_t kBody = 200ull << 20;
constexpr int kRounds = 3;

// Runs a program to its end with its output discarded; false unless it exits with 0.
bool Run(const std::vector<std::string>& argv, const std::string& home) {
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

// Seconds for one fetch, or a negative number when it failed or the file is wrong.
template <typename Fetch>
double Time(const fs::path& file, Fetch fetch) {
    fs::remove(file);
    Clock::time_point start = Clock::now();
    bool ok = fetch();
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::error_code ec;
    ok = ok && fs::file_size(file, ec) == kBody;
    fs::remove(file);
    return ok ? seconds : -1;
}

double Rate(double seconds) {
    return seconds > 0 ? kBody / 1048576.0 / seconds : 0;
}

}  // namespace

int main() {
    using namespace velmora;
    test::HttpTestServer server({test::Send("HTTP/1.0 200 OK\r\n\r\n"), test::Stream(kBody)});
    if (!server.listening()) return std::perror("listen"), 1;
    const std::string port = std::to_string(server.port());
    fs::path dir = fs::temp_directory_path() / ("velmora-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path out = dir / "body.bin";
    std::ofstream(dir / "code.txt")
        << "[main]\ndownload,http://bench.test/big," << out.string() << "\nexit\n";
    std::ofstream(dir / "variable.txt") << "[default]\nproxy=127.0.0.1\nproxyport=" << port << "\n";

    double best[3] = {1e9, 1e9, 1e9};  // velmora, curl, worker
    bool failed = false;
    for (int round = 0; round < kRounds; ++round) {
        double t[3] = {
            Time(out,
                 [&] {
                     return Run({VELMORA_BIN_DIR "/velmora", "--console"}, dir);
                 }),
            Time(out,
                 [&] {
                     return Run(
                         {"curl", "-s", "-o", out.string(), "http://127.0.0.1:" + port + "/big"},
                         "");
                 }),
            Time(out,
                 [&] {
                     DownloadProgress progress;
                     return RunDownload({"http://bench.test/big", out, "127.0.0.1", port}, progress)
                         .ok;
                 }),
        };
        for (int i = 0; i < 3; ++i) {
            if (t[i] < 0)
                failed = true;
            else
                best[i] = std::min(best[i], t[i]);
        }
    }
    fs::remove_all(dir);
    if (failed) {
        std::printf("a download failed (is curl installed?)\n");
        return 1;
    }
    std::printf("download of 200 MiB from loopback, best of %d rounds\n", kRounds);
    std::printf("  velmora --console download: %8.1f MiB/s (%.3f s)\n", Rate(best[0]), best[0]);
    std::printf("  curl:                       %8.1f MiB/s (%.3f s)\n", Rate(best[1]), best[1]);
    std::printf("  download worker alone:      %8.1f MiB/s (%.3f s)\n", Rate(best[2]), best[2]);
    std::printf("  velmora / curl:             %8.2f\n", best[1] / best[0]);
    return 0;
}
