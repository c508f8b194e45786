// The velmora program on the console: pictures and text files answer as in the window,
// because the console front end keeps the layers too.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "jpeg_writer.h"
#include "temp_dir.h"

namespace velmora {
namespace {

std::string RunConsole(const std::string& home) {
    const std::string cmd = "cd '" + home + "' && VELMORA_HOME='" + home +
                            "' '" VELMORA_BIN_DIR "/velmora' --console </dev/null 2>&1";
    std::string out;
    if (std::FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        pclose(p);
    }
    return out;
}

TEST(ConsoleImageFilesTest, ScriptSeesTheSameResultsAsInTheWindow) {
    test::TempDir home;
    ASSERT_TRUE(test::WriteJpeg(home.path() + "/red.jpg", {.width = 32, .height = 32},
                                [](int, int, std::uint8_t* p) { p[0] = 255, p[1] = 0, p[2] = 0; }));
    test::WriteFile(home.path() + "/bad.jpg", "not a picture");
    test::WriteFile(home.path() + "/code.txt",
                    "[main]\r\n"
                    "image,jpg,red.jpg,-5,470\r\ntext,clear,1 %var1%\r\n"
                    "image,jpg,bad.jpg,0,0\r\ntext,clear,2 %var1% %var2%\r\n"
                    "image,clear,0,0,10,10\r\nimage,clear\r\n"
                    "fileout,open,out.txt\r\nfileout,write,a/retb\r\nfileout,close\r\n"
                    "filein,open,out.txt\r\nfilein,read,/ret\r\ntext,clear,3 %var1% %var2%\r\n"
                    "filein,readsize,10\r\ntext,clear,4 %var1% %var2%\r\n"
                    "filein,readsize,10\r\ntext,clear,5 %var1%\r\n"
                    "endcode\r\n");
    const std::string out = RunConsole(home.path());
    EXPECT_EQ(out, "1 OK\n2 NG Jpeg解凍エラー\n3 OK a\n4 OK b\n5 NG\n");
    EXPECT_EQ(test::ReadFile(home.path() + "/out.txt"), "a\r\nb");
}

}  // namespace
}  // namespace velmora
