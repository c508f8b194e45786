// The folder `velmora --new` makes, used as a new author would: its launcher, its script
// run again and again, and a plug-in loaded from it.
#include <gtest/gtest.h>

#include <fstream>

#include "process.h"
#include "script_dir.h"

namespace velmora {
namespace {

using test::ProcessOptions;
using test::ProcessResult;
using test::RunProcess;
using test::ScriptDir;

const std::string kVelmora = std::string(VELMORA_BIN_DIR) + "/velmora";

// A fresh starter folder below a temporary one.
struct Starter {
    ScriptDir parent;
    std::string dir = parent.file("starter");
    Starter() {
        ProcessResult made = RunProcess({kVelmora, "--new", dir}, {});
        EXPECT_EQ(made.status, 0) << made.err;
    }
    void replaceScript(const std::string& text) const {
        std::ofstream(dir + "/code.txt", std::ios::binary | std::ios::trunc) << text;
    }
    ProcessResult run(const std::string& input) const {
        ProcessOptions o;
        o.input = input;
        return RunProcess({dir + "/run.sh", "--console"}, o);
    }
};

TEST(Starter, CountsItsRunsAcrossRuns) {
    Starter s;
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE(run);
        ProcessResult r = s.run("6\n");  // the last choice ends the script
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("このフォルダでの実行回数: " + std::to_string(run) + "\n"),
                  std::string::npos)
            << r.out;
    }
}

// The folder is not the program's, yet 'dll,load,sixnet.dll' finds the sixnet.so that the
// build puts beside the executable.
TEST(Starter, LoadsSixnetFromBesideTheProgram) {
    Starter s;
    s.replaceScript(
        "[main]\ndll,load,sixnet.dll,six\ntext,,%var1%\ndll,call,six,getproto\ntext,,%var1%\n"
        "endcode\n");
    ProcessResult r = s.run("");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == "OK\nAF_INET6\n" || r.out == "OK\nAF_INET\n") << r.out;
}

}  // namespace
}  // namespace velmora
