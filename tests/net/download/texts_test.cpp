// Status and failure texts of the download command, compared as CP932 bytes.
#include "net/download/texts.h"

#include <gtest/gtest.h>

#include <set>

namespace velmora {
namespace {

TEST(DownloadTexts, CountsAreGroupedInThrees) {
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0"},
        {7, "7"},
        {999, "999"},
        {1000, "1,000"},
        {12345, "12,345"},
        {123456, "123,456"},
        {1234567, "1,234,567"},
        {209715200, "209,715,200"},
        {18446744073709551615ull, "18,446,744,073,709,551,615"},
    };
    for (auto [n, text] : cases) EXPECT_EQ(GroupThousands(n), text) << n;
}

TEST(DownloadTexts, ByteCountTexts) {
    // "bytes受信" and "bytes受信完了" in CP932.
    EXPECT_EQ(ReceivedText(1234, false), "1,234 bytes\x8e\xf3\x90\x4d");
    EXPECT_EQ(ReceivedText(0, true), "0 bytes\x8e\xf3\x90\x4d\x8a\xae\x97\xb9");
}

TEST(DownloadTexts, CancelTextsEndInIdeographicSpaceAndEllipses) {
    // "中断しています…　" ends in the ideographic space, "中断しています……" in two ellipses.
    const std::string& waiting = DownloadStatusText(DownloadStatus::CancelWaiting);
    const std::string& done = DownloadStatusText(DownloadStatus::CancelDone);
    EXPECT_EQ(waiting.substr(0, 4), "\x92\x86\x92\x66");
    EXPECT_EQ(waiting.substr(waiting.size() - 4), "\x81\x63\x81\x40");
    EXPECT_EQ(done.substr(done.size() - 4), "\x81\x63\x81\x63");
    EXPECT_EQ(DownloadCaption(), "\x83\x5f\x83\x45\x83\x93\x83\x8d\x81\x5b\x83\x68");
}

TEST(DownloadTexts, FailureTextsAreDistinctCp932) {
    const DownloadError all[] = {
        DownloadError::BadUrl,
        DownloadError::FileCreate,
        DownloadError::FileWrite,
        DownloadError::HostNotFound,
        DownloadError::ConnectFailed,
        DownloadError::SendFailed,
        DownloadError::WaitFailed,
        DownloadError::TimedOut,
        DownloadError::Cancelled,
        DownloadError::BadStatus,
        DownloadError::ReceiveFailed,
        DownloadError::TlsFailed,
        DownloadError::CertificateRejected,
        DownloadError::TooManyRedirects,
        DownloadError::InsecureRedirect,
    };
    std::set<std::string> seen;
    for (DownloadError e : all) {
        const std::string& text = DownloadErrorText(e);
        EXPECT_FALSE(text.empty());
        EXPECT_TRUE(seen.insert(text).second) << text;
    }
    EXPECT_EQ(DownloadErrorText(DownloadError::BadUrl), "URL\x83\x47\x83\x89\x81\x5b");
    EXPECT_EQ(DownloadErrorText(DownloadError::TimedOut),
              "\x83\x5e\x83\x43\x83\x80\x83\x41\x83\x45\x83\x67");
}

}  // namespace
}  // namespace velmora
