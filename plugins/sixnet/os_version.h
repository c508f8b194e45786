// The operating-system version record that `osver` names. Linux reports itself as a
// platform outside the NT family; VELMORA_SIXNET_OSVERSION replaces the record so that
// scripts and tests can see how Windows 2000 or XP would answer.
#pragma once

#include <cstdint>
#include <string>

namespace sixnet {

constexpr std::uint32_t kPlatformWin32Nt = 2;
constexpr std::uint32_t kPlatformOther = 0x100;  // any system not of the Windows families

struct VersionRecord {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    std::uint32_t platform = 0;
    std::string servicePack;  // CP932, at most 127 bytes; empty without a service pack
};

// Fills the record from VELMORA_SIXNET_OSVERSION when it is set, written
// "platform,major,minor,build[,service pack text]" (e.g. "2,5,0,2195,Service Pack 4"),
// else from the running system. False when the record cannot be read, which includes
// a variable that does not have that form.
bool ReadVersionRecord(VersionRecord& record);

}  // namespace sixnet
