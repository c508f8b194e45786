// Interpreter speed in the console front end: a counting loop at the end of a short and
// of a 20,000-line script, and `set` on a script variable (a variable.txt write each);
// and `--check` of a 60,000-line script whose sections each call the next.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/check.h"
#include "app/console_frontend.h"

namespace {

std::string MakeFolder(const std::string& name, const std::string& script,
                       const std::filesystem::path& base = std::filesystem::temp_directory_path()) {
    std::string dir = (base / ("velmora-bench-" + name)).string();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/code.txt") << script;
    return dir + "/";
}

double Seconds(const std::string& dir) {
    auto start = std::chrono::steady_clock::now();
    velmora::RunConsole(dir, {});
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Lines: 4 per pass (while, calculate, set, endwhile), plus the final while.
std::string CountingLoop(int passes, const std::string& body = "",
                         const std::string& var = "var2") {
    const std::string ref = "%" + var + "%";
    return "set," + var + ",0\nwhile,cmp," + ref + ",<," + std::to_string(passes) + "\ncalculate," +
           ref + "+1\nset," + var + ",%var1%\n" + body + "endwhile\nexit\n";
}

// Lines: 4 per pass (calculate, set, if, goto) and the label's own.
std::string GotoLoop(int passes) {
    return "set,var2,0\n[again]\ncalculate,%var2%+1\nset,var2,%var1%\nif,cmp,%var2%,<," +
           std::to_string(passes) + "\ngoto,[again]\nendif\nexit\n";
}

// Seconds a shell command takes.
double ShellSeconds(const std::string& command) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Padding(int lines) {
    std::string s;
    for (int i = 0; i < lines; ++i) s += "text,,line " + std::to_string(i) + "\n";
    return s;
}

}  // namespace

int main() {
    const int passes = 1000000;
    const double lines = 4.0 * passes + 1;
    for (const char* var : {"var2", "count"}) {
        for (int before : {10, 20000}) {
            std::string dir = MakeFolder(
                "loop" + std::to_string(before),
                "goto,[main]\n" + Padding(before - 1) + "[main]\n" + CountingLoop(passes, "", var));
            double s = Seconds(dir);
            std::printf("counting loop on %-5s after %5d lines: %10.0f lines/s (%.3f s)\n", var,
                        before, lines / s, s);
            std::filesystem::remove_all(dir);
        }
    }
    for (int before : {10, 20000}) {
        // The label comes after the padding: a search from the top passes every line.
        std::string dir = MakeFolder("goto" + std::to_string(before),
                                     Padding(before) + "[main]\n" + GotoLoop(passes));
        std::ofstream(dir + "variable.txt") << "[default]\r\nbegin=[main]\r\n";
        double s = Seconds(dir);
        std::printf("goto loop, label after %5d lines: %6.3f us a pass (%.3f s)\n", before,
                    s / passes * 1e6, s);
        std::filesystem::remove_all(dir);
    }
    {
        // A 60,000-line file read line by line, counted in a script variable.
        std::string dir = MakeFolder("filein", "");
        std::ofstream file(dir + "big.txt");
        for (int i = 0; i < 60000; ++i) file << "line " << i << "\r\n";
        file.close();
        std::ofstream(dir + "code.txt")
            << "[main]\nset,n,0\nfilein,open," << dir
            << "big.txt\nfilein,read,/ret\nwhile,same,%var1%,OK\ncalculate,%n%+1\nset,n,%var1%\n"
               "filein,read,/ret\nendwhile\nfilein,close\nexit\n";
        double s = Seconds(dir);
        std::printf("filein count of 60,000 lines: %.3f s\n", s);
        std::filesystem::remove_all(dir);
    }
    // The same counting loop in the shells users know.
    const std::string n = std::to_string(passes);
    double bash = ShellSeconds("bash -c 'i=0; while ((i < " + n + ")); do i=$((i+1)); done'");
    double python =
        ShellSeconds("python3 -c 'i = 0\nwhile i < " + n + ":\n    i = i + 1' 2>/dev/null");
    std::printf("the same loop (%s passes): bash %.3f s, python3 %.3f s\n", n.c_str(), bash,
                python);
    const int sets = 20000;
    // The same on the disk of the temporary folder and, where there is one, in memory
    // (/dev/shm): the difference is the file system's cost of replacing a file.
    for (const char* base : {"", "/dev/shm"}) {
        std::filesystem::path where =
            *base ? std::filesystem::path(base) : std::filesystem::temp_directory_path();
        if (!std::filesystem::is_directory(where)) continue;
        std::string dir =
            MakeFolder("set", "[main]\n" + CountingLoop(sets, "set,dyn,%var2%\n"), where);
        double s = Seconds(dir);
        std::printf("dynamic set in %-9s: %10.0f sets/s (%.3f s)\n", where.c_str(), sets / s, s);
        std::filesystem::remove_all(dir);
    }
    // 20,000 sections of three lines, each calling the next: every label is looked up
    // and the call chain is 20,000 deep.
    std::string chain = "[main]\nsubcode,[s1]\nendcode\n";
    const int sections = 20000;
    for (int i = 1; i <= sections; ++i)
        chain += "[s" + std::to_string(i) + "]\n" +
                 (i < sections ? "subcode,[s" + std::to_string(i + 1) + "]\n" : "text,,x\n") +
                 "end\n";
    std::string dir = MakeFolder("check", chain);
    auto start = std::chrono::steady_clock::now();
    velmora::RunCheck(dir, dir + "code.txt");
    std::printf("check of a %d-line call chain: %.3f s\n", 3 * sections + 3,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    std::filesystem::remove_all(dir);
}
