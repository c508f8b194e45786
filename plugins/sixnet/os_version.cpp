// `osver`: the operating system's name and service pack, from the version record.
#include "os_version.h"

#include <sys/utsname.h>

#include <cstdlib>

#include "engine/text.h"
#include "sixnet.h"

namespace sixnet {

namespace {

constexpr std::size_t kServicePackBytes = 127;

bool ParseNumber(const std::string& text, std::uint32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    value = static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
    return true;
}

bool ReadSystemRecord(VersionRecord& record) {
    utsname name;
    if (uname(&name) != 0) return false;
    record = VersionRecord{};
    record.platform = kPlatformOther;
    char* rest = nullptr;
    record.major = static_cast<std::uint32_t>(std::strtoul(name.release, &rest, 10));
    if (rest && *rest == '.')
        record.minor = static_cast<std::uint32_t>(std::strtoul(rest + 1, &rest, 10));
    return true;
}

std::string NameOf(const VersionRecord& r) {
    if (r.major == 5 && r.minor == 0) return "Windows 2000";
    if (r.major == 5 && r.minor == 1) return "Windows XP";
    return "Unknown OS";
}

// The form of VELMORA_SIXNET_OSVERSION; false when the text does not have it.
bool ParseVersionRecord(const std::string& text, VersionRecord& record) {
    std::uint32_t* numbers[] = {&record.platform, &record.major, &record.minor, &record.build};
    std::size_t start = 0;
    for (std::uint32_t* number : numbers) {
        if (start > text.size()) return false;  // fewer than four numbers
        std::size_t comma = text.find(',', start);
        if (!ParseNumber(text.substr(start, comma - start), *number)) return false;
        start = comma == std::string::npos ? text.size() + 1 : comma + 1;
    }
    std::string servicePack = start < text.size() ? text.substr(start) : "";
    record.servicePack = velmora::Utf8ToCp932(servicePack).substr(0, kServicePackBytes);
    return true;
}

}  // namespace

bool ReadVersionRecord(VersionRecord& record) {
    if (const char* injected = std::getenv("VELMORA_SIXNET_OSVERSION"))
        return ParseVersionRecord(injected, record);
    return ReadSystemRecord(record);
}

bool ReportVersion(Host& host) {
    VersionRecord record;
    if (!ReadVersionRecord(record)) {
        host.var1() = "NG";
        return false;
    }
    if (record.platform != kPlatformWin32Nt) {
        host.var1() = "Unknown OS";
        return false;
    }
    host.var1() = NameOf(record);
    const std::string& sp = record.servicePack;
    if (!sp.empty()) host.var2() = sp;
    // The number is the last two characters: "Service Pack 4" gives 4, "... 10" 10.
    host.var3() =
        velmora::Format("%i", std::atoi(sp.substr(sp.size() > 2 ? sp.size() - 2 : 0).c_str()));
    return true;
}

void OsVer(Host& host) {
    ReportVersion(host);
}

}  // namespace sixnet
