// filein and fileout driven through a real engine: every failure row, the read limits,
// Windows text-mode translation, and the files closed by a script stop.
#include "host/file_commands.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "engine/script_check.h"
#include "script_harness.h"

namespace velmora {
namespace {

// "$D" in a line stands for the program folder.
struct FileScript : test::ScriptHarness {
    FileCommands files{engine};
};

// ---- Failure rows ---------------------------------------------------------------------

struct FailureCase {
    const char* name;
    std::vector<std::string> lines;  // each case ends with a probe that must run
    std::vector<std::string> probes;
};

class FileFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FileFailureTest, AnswersNgAndTheScriptGoesOn) {
    FileScript s;
    s.dir.writeBytes("in.txt", "x\r\n");
    std::filesystem::create_directory(s.dir.file("folder"));
    s.runLines(GetParam().lines);
    EXPECT_EQ(s.probes, GetParam().probes);
    EXPECT_TRUE(s.fe.messages.empty()) << Cp932ToUtf8(s.fe.messages.front());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FileFailureTest,
    ::testing::Values(
        // The open-file check comes before the parameter check.
        FailureCase{"read_nothing_open_no_parameter",
                    {"filein,read", "probe"},
                    {"NG|ファイルが開いてません"}},
        FailureCase{
            "readsize_nothing_open", {"filein,readsize,4", "probe"}, {"NG|ファイルが開いてません"}},
        FailureCase{"write_nothing_open_no_parameter",
                    {"fileout,write", "probe"},
                    {"NG|ファイルが開いてません"}},
        FailureCase{"open_missing_file",
                    {"filein,open,$D/missing.txt", "probe"},
                    {"NG|ファイルが開けません"}},
        FailureCase{"open_folder_for_reading",
                    {"filein,open,$D/folder", "probe"},
                    {"NG|ファイルが開けません"}},
        FailureCase{"open_output_in_missing_folder",
                    {"fileout,open,$D/no/such/out.txt", "probe"},
                    {"NG|ファイルが開けません"}},
        FailureCase{"open_folder_for_writing",
                    {"fileout,open,$D/folder", "probe", "fileout,append,$D/folder", "probe"},
                    {"NG|ファイルが開けません", "NG|ファイルが開けません"}},
        FailureCase{"input_already_open",
                    {"filein,open,$D/in.txt", "filein,open,$D/in.txt", "probe", "filein,read,/ret",
                     "probe"},
                    {"NG|既にファイルが開かれています", "OK|x"}},
        FailureCase{"input_already_open_no_parameter",
                    {"filein,open,$D/in.txt", "filein,open", "probe"},
                    {"NG|既にファイルが開かれています"}},
        FailureCase{"output_already_open",
                    {"fileout,open,$D/o.txt", "fileout,open,$D/p.txt", "probe",
                     "fileout,append,$D/p.txt", "probe"},
                    {"NG|既にファイルが開かれています", "NG|既にファイルが開かれています"}},
        FailureCase{"read_after_end",
                    {"filein,open,$D/in.txt", "filein,read,/ret", "filein,read,/ret", "probe",
                     "filein,read,/ret", "probe", "filein,readsize,3", "probe"},
                    {"OK|", "NG|ファイル終端", "NG|ファイル終端"}},
        FailureCase{"end_keeps_the_file_open",
                    {"filein,open,$D/in.txt", "filein,readsize,9", "filein,read,/ret",
                     "filein,open,$D/in.txt", "probe"},
                    {"NG|既にファイルが開かれています"}},
        FailureCase{"close_with_nothing_open_leaves_var2",
                    {"set,var2,kept", "filein,close", "probe", "fileout,close", "probe"},
                    {"OK|kept", "OK|kept"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Script errors: a message box and the script stops (the probe never runs).
struct ErrorCase {
    const char* name;
    std::vector<std::string> lines;
    const char* message;
};

class FileErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(FileErrorTest, ShowsTheMessageAndStops) {
    FileScript s;
    std::vector<std::string> lines = GetParam().lines;
    lines.push_back("probe");
    s.runLines(lines);
    EXPECT_TRUE(s.probes.empty());
    EXPECT_EQ(s.fe.messagesUtf8(), std::vector<std::string>{GetParam().message});
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FileErrorTest,
    ::testing::Values(ErrorCase{"filein_without_subcommand",
                                {"filein"},
                                "コードエラー：パラメーターが足りません filein (line:2)"},
                      ErrorCase{"open_without_name",
                                {"set,a,1", "filein,open"},
                                "コードエラー：パラメーターが足りません filein (line:3)"},
                      ErrorCase{"fileout_open_without_name",
                                {"fileout,open"},
                                "コードエラー：パラメーターが足りません fileout (line:2)"},
                      ErrorCase{"fileout_append_without_name",
                                {"fileout,APPEND"},
                                "コードエラー：パラメーターが足りません fileout (line:2)"},
                      ErrorCase{"read_open_without_delimiter",
                                {"filein,open,$D/code.txt", "filein,read"},
                                "コードエラー：パラメーターが足りません filein (line:3)"},
                      ErrorCase{"unknown_input_subcommand",
                                {"filein,Frob,x"},
                                "コードエラー：不明なfileコマンド frob (line:2)"},
                      ErrorCase{"unknown_output_subcommand",
                                {"fileout,READ,x"},
                                "コードエラー：不明なfileコマンド read (line:2)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileCheckTest, ScriptCheckerKnowsTheSubCommands) {
    FileScript s;
    s.dir.write("code.txt",
                "[main]\nfilein,open\nfilein,READ,/ret\nfilein,close\nfileout,frob\n"
                "fileout,write,x\nfileout,write\n");
    std::vector<std::string> found;
    for (const Finding& f :
         CheckScript(s.engine, s.dir.file("code.txt"), s.dir.programPath(), "[main]"))
        found.push_back(std::to_string(f.line) + " " + f.message);
    EXPECT_EQ(found, (std::vector<std::string>{
                         "2 too few parameters for 'filein,open': needs 2, has 1",
                         "5 unknown sub-command 'frob' of 'fileout'",
                         "7 too few parameters for 'fileout,write': needs 2, has 1"}));
}

// ---- Reading ----------------------------------------------------------------------------

struct ReadCase {
    const char* name;
    std::string file;                // bytes on disk
    std::vector<std::string> reads;  // script lines after the open, each probed
    std::vector<std::string> probes;
};

class FileReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(FileReadTest, ReadsAsWindowsTextMode) {
    FileScript s;
    s.dir.writeBytes("in.txt", GetParam().file);
    std::vector<std::string> lines{"filein,open,$D/in.txt"};
    for (const auto& r : GetParam().reads) lines.insert(lines.end(), {r, "probe"});
    s.runLines(lines);
    EXPECT_EQ(s.probes, GetParam().probes);
    EXPECT_TRUE(s.fe.messages.empty());
}

const std::string k1500(1500, 'a');
const std::string k1023(1023, 'b');
const std::string k2000(2000, 'c');

INSTANTIATE_TEST_SUITE_P(
    Cases, FileReadTest,
    ::testing::Values(
        ReadCase{"crlf_lines",
                 "one\r\ntwo\r\n",
                 {"filein,read,/ret", "filein,read,/ret", "filein,read,/ret", "filein,read,/ret"},
                 {"OK|one", "OK|two", "OK|", "NG|ファイル終端"}},
        ReadCase{"last_line_without_end",
                 "one\r\ntwo",
                 {"filein,read,/ret", "filein,read,/ret", "filein,read,/ret"},
                 {"OK|one", "OK|two", "NG|ファイル終端"}},
        ReadCase{"subcommand_is_lower_cased", "one\r\n", {"filein,READ,/ret"}, {"OK|one"}},
        ReadCase{"lone_cr_stays", "a\rb\n", {"filein,read,/ret"}, {"OK|a\rb"}},
        ReadCase{"ctrl_z_ends_input",
                 "one\r\ntwo\x1Athree\r\n",
                 {"filein,read,/ret", "filein,read,/ret", "filein,read,/ret"},
                 {"OK|one", "OK|two", "NG|ファイル終端"}},
        ReadCase{"ctrl_z_after_cr",
                 "a\r\x1A\r\n",
                 {"filein,read,/ret", "filein,read,/ret"},
                 {"OK|a\r", "NG|ファイル終端"}},
        ReadCase{"long_line_1023_then_rest",
                 k1500 + "\r\nnext\r\n",
                 {"filein,read,/ret", "filein,read,/ret", "filein,read,/ret"},
                 {"OK|" + k1500.substr(0, 1023), "OK|" + k1500.substr(0, 477), "OK|next"}},
        ReadCase{"exactly_1023_consumes_the_delimiter",
                 k1023 + "\r\nx",
                 {"filein,read,/ret", "filein,read,/ret"},
                 {"OK|" + k1023, "OK|x"}},
        ReadCase{"exactly_1023_then_end",
                 k1023,
                 {"filein,read,/ret", "filein,read,/ret"},
                 {"OK|" + k1023, "NG|ファイル終端"}},
        ReadCase{"comma_delimiter",
                 "a,b,c",
                 {"filein,read,/com", "filein,read,/com", "filein,read,/com", "filein,read,/com"},
                 {"OK|a", "OK|b", "OK|c", "NG|ファイル終端"}},
        ReadCase{"only_first_byte_of_delimiter", "a;b|c", {"filein,read,|;"}, {"OK|a;b"}},
        ReadCase{"empty_delimiter_is_zero_byte",
                 std::string("ab\r\ncd\0ef", 9),
                 {"filein,read,", "filein,read,"},
                 {"OK|ab\ncd", "OK|ef"}},
        ReadCase{"readsize_counts_translated_characters",
                 "ab\r\ncd",
                 {"filein,readsize,4"},
                 {"OK|ab\nc"}},
        ReadCase{"readsize_capped_at_1024",
                 k2000,
                 {"filein,readsize,5000", "filein,readsize,5000"},
                 {"OK|" + k2000.substr(0, 1024), "OK|" + k2000.substr(0, 976)}},
        ReadCase{
            "readsize_zero_and_text_read_nothing",
            "xyz",
            {"filein,readsize,0", "filein,readsize,abc", "filein,readsize,-4", "filein,readsize,2"},
            {"OK|", "OK|", "OK|", "OK|xy"}},
        ReadCase{"readsize_meets_the_end",
                 "0123456789",
                 {"filein,readsize,100", "filein,readsize,100"},
                 {"OK|0123456789", "NG|ファイル終端"}},
        ReadCase{"readsize_exactly_the_rest",
                 "0123",
                 {"filein,readsize,4", "filein,readsize,4", "filein,readsize,4"},
                 {"OK|0123", "OK|", "NG|ファイル終端"}},
        ReadCase{"readsize_stops_text_at_zero_byte",
                 std::string("ab\0cd", 5),
                 {"filein,readsize,5"},
                 {"OK|ab"}},
        ReadCase{
            "double_byte_text_kept", "\x93\xfa\x96\x7b\r\n", {"filein,read,/ret"}, {"OK|日本"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Writing ----------------------------------------------------------------------------

TEST(FileWriteTest, WritesExactlyWithCrLfLineEnds) {
    FileScript s;
    s.dir.writeBytes("out.txt", "old contents that must go");
    s.runLines({"set,var2,kept", "fileout,open,$D/out.txt", "probe", "fileout,write,abc", "probe",
                "fileout,write,abc", "fileout,write,x/rety/ret", "fileout,write,\r",
                "fileout,close", "probe", "fileout,write,z", "probe"});
    EXPECT_EQ(s.probes, (std::vector<std::string>{"OK|kept", "OK|kept", "OK|kept",
                                                  "NG|ファイルが開いてません"}));
    EXPECT_EQ(s.dir.read("out.txt"), "abcabcx\r\ny\r\n");
}

TEST(FileWriteTest, AppendKeepsTheFileAndAddsAtItsEnd) {
    FileScript s;
    s.dir.writeBytes("log.txt", "old\r\nno line end");
    s.runLines({"fileout,append,$D/log.txt", "probe", "fileout,write,/reta/ret", "fileout,close",
                "fileout,append,$D/log.txt", "fileout,write,b", "fileout,close",
                "fileout,append,$D/new.txt", "fileout,write,c/ret", "probe"});
    EXPECT_EQ(s.probes, (std::vector<std::string>{"OK|", "OK|"}));
    EXPECT_EQ(s.dir.read("log.txt"), "old\r\nno line end\r\na\r\nb");
    EXPECT_EQ(s.dir.read("new.txt"), "c\r\n");
}

TEST(FileWriteTest, EveryWriteReachesTheDiskAtOnce) {
    FileScript s;
    std::string whileWaiting;
    s.fe.events.push_back([&](Engine&) { whileWaiting = s.dir.read("out.txt"); });
    s.runLines({"fileout,open,$D/out.txt", "fileout,write,line/ret", "pause"});
    EXPECT_EQ(whileWaiting, "line\r\n");
}

TEST(FileWriteTest, FailedWriteAnswersNgNowAndAfter) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    FileScript s;
    s.runLines({"fileout,open,/dev/full", "probe", "fileout,write,abc", "probe",
                "fileout,write,def", "probe", "fileout,close", "probe", "fileout,open,$D/ok.txt",
                "fileout,write,fine", "probe"});
    EXPECT_EQ(s.probes, (std::vector<std::string>{
                            "OK|", "NG|ファイル書き込みエラー", "NG|ファイル書き込みエラー",
                            "OK|ファイル書き込みエラー", "OK|ファイル書き込みエラー"}));
    EXPECT_EQ(s.dir.read("ok.txt"), "fine");
}

TEST(FileWriteTest, CopiesAFileLineByLine) {
    FileScript s;
    s.dir.writeBytes("in.txt", "first\r\nsecond\r\n");
    s.runLines({"filein,open,$D/in.txt", "fileout,open,$D/out.txt", "filein,read,/ret",
                "while,same,%var1%,OK", "fileout,write,%var2%/ret", "filein,read,/ret", "endwhile",
                "filein,close", "fileout,close"});
    EXPECT_TRUE(s.fe.messages.empty()) << Cp932ToUtf8(s.fe.messages.front());
    // The empty read after the last line end copies one more empty line.
    EXPECT_EQ(s.dir.read("out.txt"), "first\r\nsecond\r\n\r\n");
}

TEST(FileWriteTest, ScriptSeesItsOwnVariableFileAtTheNextLine) {
    FileScript s;
    s.runLines({"set,answer,1", "fileout,open,$D/variable.txt",
                "fileout,write,[dynamic]/retanswer=42/ret", "fileout,close", "set,var2,%answer%",
                "probe"});
    EXPECT_EQ(s.probes, std::vector<std::string>{"OK|42"});
}

// ---- Names --------------------------------------------------------------------------------

class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& dir) : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~CurrentDirectory() { std::filesystem::current_path(saved_); }

private:
    std::filesystem::path saved_;
};

TEST(FileNameTest, RelativeNamesUseTheCurrentDirectoryNotTheProgramFolder) {
    FileScript s;
    test::ScriptDir cwd;
    cwd.writeBytes("in.txt", "from cwd\r\n");
    s.dir.writeBytes("in.txt", "from program folder\r\n");
    {
        CurrentDirectory here(cwd.path());
        s.runLines({"filein,open,in.txt", "filein,read,/ret", "probe", "fileout,open,out.txt",
                    "fileout,close"});
    }
    EXPECT_EQ(s.probes, std::vector<std::string>{"OK|from cwd"});
    EXPECT_TRUE(cwd.exists("out.txt"));
    EXPECT_FALSE(s.dir.exists("out.txt"));
}

TEST(FileNameTest, BackslashesAndJapaneseNames) {
    FileScript s;
    std::filesystem::create_directory(s.dir.file("sub"));
    s.runLines({"fileout,open,$D\\sub\\データ.txt", "fileout,write,1", "fileout,close", "probe"});
    EXPECT_EQ(s.probes, std::vector<std::string>{"OK|"});
    EXPECT_EQ(s.dir.read("sub/データ.txt"), "1");
}

// ---- Script stops -------------------------------------------------------------------------

TEST(FileStopTest, ScriptErrorClosesBothFiles) {
    FileScript s;
    s.dir.writeBytes("in.txt", "one\r\ntwo\r\n");
    // The exit section runs after the stop that the error caused.
    s.runLines({"filein,open,$D/in.txt", "filein,read,/ret", "fileout,open,$D/out.txt",
                "fileout,write,kept", "no_such_command", "endcode", "[exit]",
                "filein,open,$D/in.txt", "probe", "filein,read,/ret", "probe",
                "fileout,open,$D/out2.txt", "probe"});
    // The read gives the first line again: the file was opened afresh.
    EXPECT_EQ(s.probes, (std::vector<std::string>{"OK|one", "OK|one", "OK|one"}));
    EXPECT_EQ(s.dir.read("out.txt"), "kept");
    EXPECT_EQ(s.fe.messages.size(), 1u);
}

TEST(FileStopTest, EndcodeClosesBothFiles) {
    FileScript s;
    s.dir.writeBytes("in.txt", "x");
    s.runLines({"filein,open,$D/in.txt", "fileout,open,$D/out.txt", "endcode", "[exit]",
                "filein,readsize,1", "probe", "fileout,write,y", "probe"});
    EXPECT_EQ(s.probes,
              (std::vector<std::string>{"NG|ファイルが開いてません", "NG|ファイルが開いてません"}));
}

}  // namespace
}  // namespace velmora
