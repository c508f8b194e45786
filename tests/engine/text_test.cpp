// CP932 conversions, path rules, the number readers and rectangle texts.
#include "engine/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "engine/rect.h"

namespace velmora {
namespace {

TEST(Text, RoundTripsJapaneseThroughCp932) {
    const std::string utf8 = "終了しますか？ｱｲｳ abc";
    std::string sjis = Utf8ToCp932(utf8);
    EXPECT_EQ(sjis.substr(0, 2), "\x8f\x49");  // 終
    EXPECT_EQ(Cp932ToUtf8(sjis), utf8);
}

TEST(Text, UnconvertibleBytesBecomeQuestionMarksAndTheRestIsKept) {
    EXPECT_EQ(Cp932ToUtf8("a\xff"
                          "b\x85\x40"
                          "c\x81"),
              "a?b?c?");
    EXPECT_EQ(Utf8ToCp932("x\xf0\x9f\x98\x80y"), "x?y");
}

TEST(Text, NativePathKeepsBackslashTrailBytes) {
    // 表 is 0x95 0x5C in CP932: its second byte is not a separator.
    std::string name = Utf8ToCp932("dir\\表.txt");
    EXPECT_EQ(NativePath(name), "dir/表.txt");
    EXPECT_EQ(NativePath("a\\b\\c"), "a/b/c");
}

TEST(Text, NativePathKeepsTheProgramFolderAsGiven) {
    SetProgramFolderForPaths("/tmp/a\\b/");
    EXPECT_EQ(NativePath("/tmp/a\\b/sub\\x.txt"), "/tmp/a\\b/sub/x.txt");
    EXPECT_EQ(NativePath("/tmp/a\\bc\\x"), "/tmp/a/bc/x");  // not the program folder
    SetProgramFolderForPaths("");
    EXPECT_EQ(NativePath("/tmp/a\\b/x"), "/tmp/a/b/x");
}

TEST(Text, AbsoluteNames) {
    EXPECT_TRUE(IsAbsoluteName("/etc/x"));
    EXPECT_TRUE(IsAbsoluteName("c:/skins/a.bmp"));
    EXPECT_TRUE(IsAbsoluteName("\\root"));
    EXPECT_FALSE(IsAbsoluteName("skin.bmp"));
}

TEST(Text, FindMbsNeverMatchesInsideADoubleByteCharacter) {
    std::string hay = Utf8ToCp932("表x");  // 0x95 0x5C 'x'
    EXPECT_EQ(FindMbs(hay, "\\"), std::string::npos);
    EXPECT_EQ(FindMbs(hay, "x"), 2u);
    EXPECT_EQ(FindMbs("abc", ""), 0u);
}

TEST(Text, ToIntReadsLikeAtoiAndWraps) {
    struct Case {
        const char* text;
        int value;
    } cases[] = {{"42", 42}, {"  -7x", -7},     {"+3", 3},  {"abc", 0},
                 {"", 0},    {"4294967297", 1}, {"1 2", 1}, {"\t\n9", 9}};
    for (const auto& c : cases) EXPECT_EQ(ToInt(c.text), c.value) << c.text;
}

TEST(Text, ToRealReadsOnlyDecimalForms) {
    EXPECT_DOUBLE_EQ(ToReal("1.5e2x"), 150.0);
    EXPECT_DOUBLE_EQ(ToReal("-.5"), -0.5);
    EXPECT_DOUBLE_EQ(ToReal("1e"), 1.0);
    EXPECT_DOUBLE_EQ(ToReal("inf"), 0.0);
    EXPECT_DOUBLE_EQ(ToReal("0x10"), 0.0);
    EXPECT_DOUBLE_EQ(ToReal("abc"), 0.0);
}

TEST(Text, ValidUtf8) {
    EXPECT_TRUE(IsValidUtf8("plain"));
    EXPECT_TRUE(IsValidUtf8("日本語"));
    EXPECT_FALSE(IsValidUtf8(Utf8ToCp932("日本語")));
    EXPECT_FALSE(IsValidUtf8("\xe6\x97"));
}

// Any four numbers a script writes give a rectangle whose sizes, and the frame drawn
// around it, are computed without overflow.
TEST(Text, RectanglesFromAnyNumbersHaveSizesThatFit) {
    const long long extremes[] = {INT32_MIN, INT32_MAX, -1, 0, 1LL << 40, -(1LL << 40)};
    std::uint32_t seed = 1;
    for (int i = 0; i < 2000; ++i) {
        long long v[4];
        for (long long& x : v) {
            seed = seed * 1103515245u + 12345u;
            x = seed % 3 == 0 ? extremes[(seed >> 8) % 6] : static_cast<std::int32_t>(seed);
        }
        Rect r;
        const std::string text = Format("%lld,%lld,%lld,%lld", v[0], v[1], v[2], v[3]);
        SCOPED_TRACE(text);
        ASSERT_TRUE(ParseRect(text, r));
        const long long width = static_cast<long long>(r.right) - r.left;
        const long long height = static_cast<long long>(r.bottom) - r.top;
        EXPECT_LT(std::llabs(width) + 4, INT32_MAX);
        EXPECT_LT(std::llabs(height) + 4, INT32_MAX);
        EXPECT_GT(static_cast<long long>(r.left) - 2, INT32_MIN);
        EXPECT_GT(static_cast<long long>(r.top) - 2, INT32_MIN);
        // Within range, the numbers are kept as written.
        if (std::llabs(v[0]) <= kMaxRectCoordinate) {
            EXPECT_EQ(r.left, v[0]);
        }
    }
}

}  // namespace
}  // namespace velmora
