// Answers in JIS, EUC-JP and Shift-JIS all become Shift-JIS, anything else is kept; the
// escaping of request texts and the form decoding that undoes percent-encoding.
#include "net/shared/http_text.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <random>

#include "net_support.h"

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

TEST(UrlDecode, DecodesPlusAndEscapes) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"a+b%25c", "a b%c"},
        {"100%25%25", "100%%"},
        {"%2B", "+"},      // a decoded "+" stays a plus
        {"%252B", "%2B"},  // decoded output is not decoded again
        {"my%20file.txt", "my file.txt"},
        {"%e3%81%82", "\xE3\x81\x82"},  // lower-case hex
        {"%zz", std::string(1, static_cast<char>((('Z' - 0x37) * 16 + ('Z' - 0x37)) & 0xFF))},
        {"%!0", std::string(1, static_cast<char>((('!' - 0x30) * 16) & 0xFF))},
        {"abc%", "abc%"},  // too short: kept as it is
        {"abc%4", "abc%4"},
        {"a%00b", "a"},  // a decoded zero ends the text
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string s = c.in;
        UrlDecode(s);
        EXPECT_EQ(s, c.out) << c.in;
    }
}

TEST(TakeToken, SplitsAtTheFirstDelimiter) {
    struct Case {
        std::string s;
        char d;
        std::string token, rest;
    } cases[] = {
        {"a=1&b=2", '&', "a=1", "b=2"}, {"abc", '&', "abc", ""}, {"&x", '&', "", "x"},
        {"k=", '=', "k", ""},           {"", '=', "", ""},
    };
    for (const auto& c : cases) {
        std::string s = c.s;
        EXPECT_EQ(TakeToken(s, c.d), c.token) << c.s;
        EXPECT_EQ(s, c.rest) << c.s;
    }
}

TEST(Escape, HtmlEscapesMarkupButNotCp932) {
    EXPECT_EQ(HtmlEscape("<b>&\"'"), "&lt;b&gt;&amp;&quot;&#39;");
    std::string kanji = test::Sj(u8"表示");  // 0x95 0x5C: a trail byte like a backslash
    EXPECT_EQ(HtmlEscape(kanji), kanji);
}

TEST(Escape, PercentEncodingRoundTrips) {
    std::string all;
    for (int i = 1; i < 256; ++i) all.push_back(static_cast<char>(i));
    std::string encoded = PercentEncode(all);
    const char* safe = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~%";
    EXPECT_EQ(encoded.find_first_not_of(safe), std::string::npos);
    std::string back = encoded;
    UrlDecode(back);
    EXPECT_EQ(back, all);
    EXPECT_EQ(PercentEncode("a b/c", true), "a%20b/c");
    EXPECT_EQ(PercentEncode("a b/c"), "a%20b%2Fc");
}

TEST(Escape, PageTextConvertsUtf8Names) {
    EXPECT_EQ(PageText(reinterpret_cast<const char*>(u8"写真.jpg")), test::Sj(u8"写真.jpg"));
    std::string cp932 = test::Sj(u8"写真");
    EXPECT_EQ(PageText(cp932), cp932);
    EXPECT_EQ(PageText("plain"), "plain");
}

}  // namespace
}  // namespace velmora
