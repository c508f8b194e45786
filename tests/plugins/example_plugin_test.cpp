// The example plug-in of examples/plugin, built from its own CMake file and loaded
// through the real host as a plug-in author would use it.
#include <gtest/gtest.h>

#include "fake_frontend.h"
#include "host/plugin_host.h"
#include "plugin_fixture.h"
#include "script_dir.h"

namespace velmora::test {
namespace {

class ExamplePluginTest : public ::testing::Test {
protected:
    ExamplePluginTest() {
        Link(VELMORA_EXAMPLE_PLUGIN, dir.file("strings.so"));
        fe.engine = &engine;
        engine.setProgramPath(dir.programPath());
        RunLine(engine, "dll,load,strings.dll,str");
    }

    ScriptDir dir;
    FakeFrontend fe;
    Engine engine{fe};
    PluginHost host{engine};
};

TEST_F(ExamplePluginTest, FunctionsAnswerInVar1) {
    struct Case {
        const char* line;
        std::string var1;  // UTF-8
    };
    const Case cases[] = {
        {"dll,call,str,upper,hello World", "HELLO WORLD"},
        // The second byte of ビ is "r" in CP932; it must stay as it is.
        {"dll,call,str,upper,abcビ", "ABCビ"},
        {"dll,call,str,length,hello", "5"},
        {"dll,call,str,length,ビ", "2"},
        {"dll,call,str,length", "0"},  // no fourth parameter on this line
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        RunLine(engine, c.line);
        EXPECT_EQ(engine.vars[kVar1], Utf8ToCp932(c.var1));
    }
    EXPECT_TRUE(fe.messages.empty());
}

TEST_F(ExamplePluginTest, UnknownFunctionStopsTheScript) {
    RunLine(engine, "dll,call,str,lower,ABC");
    ASSERT_EQ(fe.messages.size(), 1u);
    EXPECT_EQ(fe.messages[0], Utf8ToCp932("DLLエラー：関数が見つかりません str/lower"));
    EXPECT_FALSE(engine.running);
}

TEST_F(ExamplePluginTest, UnloadsForReal) {
    RunLine(engine, "dll,unload,str");
    EXPECT_EQ(engine.vars[kVar1], "OK");
    EXPECT_FALSE(IsMapped(VELMORA_EXAMPLE_PLUGIN));
}

}  // namespace
}  // namespace velmora::test
