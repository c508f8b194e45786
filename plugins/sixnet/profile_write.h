// One value written into an INI file the way the Windows profile functions write it,
// for a settings file of another program (a hot fix's hotfix.inf).
#pragma once

#include <string>

namespace sixnet {

// Sets key=value in [section] of the file at nativePath: section and key names match
// without regard to letter case, an existing value is replaced, a missing key goes after
// the section's last entry and a missing section at the end. Everything else, line ends
// included, is kept. The file must exist: false, and nothing created, when it cannot be
// read; false too when it could not be replaced (atomically, by rename).
bool WriteProfileString(const std::string& nativePath, const std::string& section,
                        const std::string& key, const std::string& value);

}  // namespace sixnet
