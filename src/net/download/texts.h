// The texts the download command shows and reports, in CP932: the progress status of
// each phase, the byte counts grouped in threes, and the failure reasons put in var2.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// Caption of the progress display.
const std::string& DownloadCaption();

enum class DownloadStatus {
    Resolving,  // looking the host up
    Connecting,
    Requesting,
    CancelWaiting,  // cancel requested, the worker is still busy
    CancelDone,     // the worker has stopped
};
const std::string& DownloadStatusText(DownloadStatus status);

// "1,234 bytes受信" while receiving, "1,234 bytes受信完了" at the end.
std::string ReceivedText(std::uint64_t total, bool complete);

// 0, 999, 1,000, 1,234,567: decimal, grouped in threes from the right with ",".
std::string GroupThousands(std::uint64_t n);

// The socket layer needs no start-up here, so "WSAStartup Error" never occurs.
enum class DownloadError {
    BadUrl,
    FileCreate,
    FileWrite,
    HostNotFound,
    ConnectFailed,
    SendFailed,
    WaitFailed,
    TimedOut,
    Cancelled,
    BadStatus,
    ReceiveFailed,
    TlsFailed,            // the TLS handshake failed for another reason than the certificate
    CertificateRejected,  // the server's certificate does not verify or names another server
    TooManyRedirects,     // more redirects than kMaxRedirects in a row
    InsecureRedirect,     // a redirect from https down to http
};
const std::string& DownloadErrorText(DownloadError error);

}  // namespace velmora
