// The velmora program on the console: pictures and text files answer as in the window,
// because the console front end keeps the layers too.
#include <gtest/gtest.h>

#include "jpeg_writer.h"
#include "process.h"
#include "script_dir.h"

namespace velmora {
namespace {

// "$D" stands for the program folder (file commands resolve against the current one).
constexpr const char* kScript = R"([main]
image,jpg,red.jpg,-5,470
text,clear,1 %var1%
image,jpg,bad.jpg,0,0
text,clear,2 %var1% %var2%
image,clear,0,0,10,10
image,clear
fileout,open,$D/out.txt
fileout,write,a/retb
fileout,close
filein,open,$D/out.txt
filein,read,/ret
text,clear,3 %var1% %var2%
filein,readsize,10
text,clear,4 %var1% %var2%
filein,readsize,10
text,clear,5 %var1%
endcode
)";

TEST(ConsoleImageFilesTest, ScriptSeesTheSameResultsAsInTheWindow) {
    test::ScriptDir dir;
    ASSERT_TRUE(test::WriteJpeg(dir.file("red.jpg"), {.width = 32, .height = 32},
                                [](int, int, std::uint8_t* p) { p[0] = 255, p[1] = 0, p[2] = 0; }));
    dir.writeBytes("bad.jpg", "not a picture");
    std::string script = kScript;
    for (size_t at; (at = script.find("$D")) != std::string::npos;)
        script.replace(at, 2, dir.path());
    dir.write("code.txt", script);
    test::ProcessOptions options;
    options.env = {"VELMORA_HOME=" + dir.path()};
    const test::ProcessResult r =
        test::RunProcess({std::string(VELMORA_BIN_DIR) + "/velmora", "--console"}, options);
    EXPECT_EQ(r.out, "1 OK\n2 NG Jpeg解凍エラー\n3 OK a\n4 OK b\n5 NG\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("out.txt"), "a\r\nb");
}

}  // namespace
}  // namespace velmora
