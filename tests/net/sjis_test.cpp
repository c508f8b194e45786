// Answers in JIS, EUC-JP and Shift-JIS all become Shift-JIS; anything else is kept.
#include "net/sjis.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <random>

namespace velmora {
namespace {

// The text in another encoding, through glibc's converters.
std::string Encode(const char8_t* utf8, const char* to) {
    std::string in(reinterpret_cast<const char*>(utf8));
    iconv_t cd = iconv_open(to, "UTF-8");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << to;
    std::string out(in.size() * 4 + 16, '\0');
    char* src = in.data();
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    EXPECT_NE(iconv(cd, &src, &srcLeft, &dst, &dstLeft), static_cast<size_t>(-1)) << to;
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);  // the closing shift of ISO-2022-JP
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

const char8_t* const kJapanese[] = {
    u8"こんにちは",       u8"山田太郎です", u8"漢字とカタカナとＡＢＣ", u8"abc あいう 123",
    u8"表示・予定・能力",  // trail byte 0x5C in Shift-JIS
    u8"腕時計と滝と熊",    // lead bytes from 0xE0 in Shift-JIS
    u8"改行\nのあと",
};

TEST(NormalizeToShiftJis, BringsEveryEncodingToShiftJis) {
    for (const char8_t* text : kJapanese) {
        std::string sjis = Encode(text, "CP932");
        const char* label = reinterpret_cast<const char*>(text);
        EXPECT_EQ(NormalizeToShiftJis(sjis), sjis) << label << " (Shift-JIS)";
        EXPECT_EQ(NormalizeToShiftJis(Encode(text, "EUC-JP")), sjis) << label << " (EUC-JP)";
        EXPECT_EQ(NormalizeToShiftJis(Encode(text, "ISO-2022-JP")), sjis) << label << " (JIS)";
    }
}

TEST(NormalizeToShiftJis, KeepsWhatItCannotRead) {
    struct Case {
        std::string in;
        const char* why;
    } cases[] = {
        {"", "empty"},
        {"plain ascii 100%", "ascii"},
        {"\xB1\xB2\xB3", "half-width katakana"},
        {"abc\xFF", "a lone high byte"},
        {"\x82", "a lead byte at the end"},
        {"\xB1\xB2\xB3\x0E", "shift-out after high bytes"},
    };
    for (const auto& c : cases) EXPECT_EQ(NormalizeToShiftJis(c.in), c.in) << c.why;
}

TEST(NormalizeToShiftJis, EscapeSequencesAndShiftBytes) {
    const std::string a = "\x82\xA0";  // "あ" in Shift-JIS
    struct Case {
        std::string in, out;
        const char* why;
    } cases[] = {
        {"\x1B$B$\"\x1B(B", a, "ESC $ B ... ESC ( B"},
        {"\x1B$@$\"\x1B(J", a, "ESC $ @ ... ESC ( J"},
        {"\x1B$B$\"\nx", a + "\nx", "a line feed ends JIS mode"},
        {"\x1B$B$", "", "a lone JIS byte at the end is dropped"},
        {"\x0E"
         "ab\x0F",
         "ab", "SO and SI before any high byte"},
        {"\x1B$B$\"\x1B(B\xB1", "\x1B$B$\"\x1B(B\xB1", "a high byte left unpaired: kept"},
        {"\x1B"
         "abc",
         "\x1B"
         "abc",
         "ESC of no known sequence"},
    };
    for (const auto& c : cases) EXPECT_EQ(NormalizeToShiftJis(c.in), c.out) << c.why;
}

TEST(NormalizeToShiftJis, NeverGrows) {
    std::mt19937 random(12345);
    const std::string alphabet =
        "\x1B$()B@J,\n\x0E\x0F"
        "ab\x21\x7E\x80\x81\x9F\xA1\xE0\xEF\xFC\x40";
    for (int round = 0; round < 20000; ++round) {
        std::string s(random() % 12, '\0');
        for (char& c : s) c = alphabet[random() % alphabet.size()];
        ASSERT_LE(NormalizeToShiftJis(s).size(), s.size());
    }
}

}  // namespace
}  // namespace velmora
