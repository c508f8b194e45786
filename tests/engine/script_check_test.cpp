// The script checker on a table of broken scripts.
#include "engine/script_check.h"

#include <gtest/gtest.h>

#include "engine_harness.h"

namespace velmora {
namespace {

struct Checked : test::EngineHarness {
    Checked() {
        // A command with sub-commands, as the subsystems add them.
        engine.addCommands({{"tool", 1, [](Engine&) {}, true, {{"open", 2}, {"close", 1}}}});
    }
    std::vector<std::string> check(const std::string& script, const std::string& begin = "[main]") {
        dir.write("code.txt", script);
        std::vector<std::string> out;
        for (const Finding& f : CheckScript(engine, dir.file("code.txt"), dir.programPath(), begin))
            out.push_back(std::to_string(f.line) + ": " +
                          (f.severity == Severity::Warning ? "warning: " : "") + f.message);
        return out;
    }
};

using Lines = std::vector<std::string>;

TEST(ScriptCheck, Findings) {
    struct Case {
        const char* script;
        Lines findings;
    } cases[] = {
        {"[main]\ntext,,ok\npause\n", {}},
        {"[main]\nfrob,1\n", {"2: unknown command 'frob'"}},
        {"[main]\nset,x\n", {"2: too few parameters for 'set': needs 2, has 1"}},
        {"[main]\ntimer,wait\n", {"2: too few parameters for 'timer': needs 2, has 1"}},
        {"[main]\nchoice,3,1,a,b\n", {"2: too few parameters for 'choice': needs 5, has 4"}},
        {"[main]\ntool,OPEN\ntool,shut\ntool,close\n",
         {"2: too few parameters for 'tool,open': needs 2, has 1",
          "3: unknown sub-command 'shut' of 'tool'"}},
        {"[main]\ngoto,[nowhere]\nsubcode,[a]\n[a] \n",
         {"2: label '[nowhere]' not found",
          "3: label '[a]' not found (line 4 differs only by a trailing blank)"}},
        {"[main]\ntimer,start,5,[late]\ntimer,stop,0,[x]\n", {"2: label '[late]' not found"}},
        {"[main]\nif,same,a,a\nwhile,cmp,1,<,2\nendif\nelse\n",
         {"5: 'else' without if", "3: while without endwhile"}},
        {"[main]\nendwhile\nif,like,a,b\nendif\nif,cmp,1,=>,2\nendif\n",
         {"2: 'endwhile' without while", "3: unknown condition 'like'",
          "5: unknown comparison operator '=>'"}},
        {"text,,no start\n", {"0: start label '[main]' not found"}},
        {"[main]\ngoto,%target%\n%cmd%,x\n\"%line%\nset,%v%\n",
         {"5: too few parameters for 'set': needs 2, has 1"}},
        {"[main]\nusescript,[s],missing.txt\n", {"2: script 'missing.txt' cannot be opened"}},
        {"[main]\nif,CMP,1,<\nendif\n", {"2: too few parameters for 'cmp': needs 4, has 3"}},
        // Lines that run, but hardly as meant.
        {"[main]\nset,a1,Slowly, with a book\ncalculate,%n%-1\ncalculate,(2)-1\n"
         "calculate,5*-2_1e-3\ntimer,Wait,1\ntimer,wait,1\npause\n",
         {"2: warning: 'set' uses 2 parameters; the rest of the line is dropped (a comma in a "
          "text is /com)",
          "3: warning: '-' is only a sign here; subtract with '_'",
          "4: warning: '-' is only a sign here; subtract with '_'",
          "6: warning: 'Wait' is compared as written: it is not 'wait'"}},
    };
    for (const auto& c : cases) {
        Checked h;
        EXPECT_EQ(h.check(c.script), c.findings) << c.script;
    }
}

// Nesting a run refuses, found without running: the 51st loop, the 51st call of a chain.
TEST(ScriptCheck, NestingBeyondTheLimits) {
    auto loops = [](int n) {
        std::string s = "[main]\n";
        for (int i = 0; i < n; ++i) s += "while,same,a,a\n";
        for (int i = 0; i < n; ++i) s += "endwhile\n";
        return s;
    };
    // [main] calls [s1], [s1] calls [s2], ... down to n nested calls.
    auto calls = [](int n) {
        std::string s = "[main]\nsubcode,[s1]\npause\n";
        for (int i = 1; i < n; ++i)
            s += "[s" + std::to_string(i) + "]\nsubcode,[s" + std::to_string(i + 1) + "]\nend\n";
        return s + "[s" + std::to_string(n) + "]\nend\n[loop]\nsubcode,[loop]\n";
    };
    struct Case {
        std::string script;
        Lines findings;
    } cases[] = {
        {loops(50), {}},
        {loops(51), {"52: loops nested more than 50 deep"}},
        {calls(50), {}},
        // Call k stands on line 3k - 1.
        {calls(52), {"152: subcode calls nested more than 50 deep (call 51, from line 2)"}},
    };
    for (const auto& c : cases) {
        Checked h;
        EXPECT_EQ(h.check(c.script), c.findings) << c.script.substr(0, 80);
    }
}

TEST(ScriptCheck, UsescriptLabelsAreLookedUpInTheTargetFile) {
    Checked h;
    h.dir.write("other.txt", "[start]\npause\n");
    EXPECT_EQ(h.check("[main]\nusescript,[start],other.txt\nusescript,[gone],other.txt\n"),
              Lines{"3: label '[gone]' not found"});
}

TEST(ScriptCheck, Utf8Scripts) {
    Checked h;
    h.dir.writeBytes("code.txt", "\xEF\xBB\xBF[main]\ntext,,ok 日本\ntext,,😀\npause\n");
    std::vector<std::string> out;
    for (const Finding& f :
         CheckScript(h.engine, h.dir.file("code.txt"), h.dir.programPath(), "[main]"))
        out.push_back(std::to_string(f.line) + ": " + f.message);
    EXPECT_EQ(out, Lines{"3: character without a Shift-JIS form (it becomes '?')"});

    // Without the byte-order mark the run reads the same bytes as Shift-JIS.
    h.dir.writeBytes("code.txt", "[main]\ntext,,ok\ntext,,日本\npause\n");
    out.clear();
    for (const Finding& f :
         CheckScript(h.engine, h.dir.file("code.txt"), h.dir.programPath(), "[main]"))
        out.push_back(std::to_string(f.line) + ": " + f.message);
    EXPECT_EQ(out, Lines{"3: UTF-8 text without a byte-order mark is read as Shift-JIS; save "
                         "the file as UTF-8 with BOM"});
}

}  // namespace
}  // namespace velmora
