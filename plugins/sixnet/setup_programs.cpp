// `2ksetup2` and `2ksetup3`: start the IPv6 set-up program with "-x", and record the
// service-pack level in a hot fix's hotfix.inf before starting its hotfix.exe.
#include <sys/stat.h>

#include <cstdlib>

#include "engine/ini_file.h"
#include "engine/system_helpers.h"
#include "engine/text.h"
#include "launch.h"
#include "sixnet.h"

namespace sixnet {

namespace {

// Sets one value in another program's INI file through the program's own INI store, as
// the Windows profile functions would (through a link, into its target). The file must
// exist: nothing is created for a folder that holds no such file.
bool WriteProfileString(const std::string& nativePath, const char* section, const char* key,
                        const std::string& value) {
    struct stat st;
    if (::stat(nativePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    velmora::IniFile file;
    // No watching thread: this library may be unloaded right after the call.
    file.setPath(nativePath, velmora::ChangeNotice::StatEveryRead);
    return file.set(section, key, value) == velmora::IniWrite::Saved;
}

}  // namespace

void StartSetupProgram(Host& host) {
    const std::string program = host.argument();
    if (program.empty()) {
        host.var1() = "NG";
        return;
    }
    OpenFile(velmora::NativePath(program), {"-x"});
    host.var1() = "OK";
}

void InstallHotfix(Host& host) {
    const std::string target = host.argument();
    // Without a service-pack level from the system, var3 would still hold an older
    // command's result; writing that into the hot fix's settings would be wrong.
    if (target.empty() || !ReportVersion(host)) {
        host.var1() = "NG";
        return;
    }
    // var3 was just written by osver: a number of at most two characters.
    std::string number = velmora::Format("%i", std::atoi(host.var3().c_str()) * 256);
    std::string folder = velmora::FolderOf(velmora::NativePath(target));
    std::string inf = folder + "hotfix.inf";
    // A folder without hotfix.inf holds no hot fix; the file is never created.
    if (!WriteProfileString(inf, "Version", "NtServicePackVersion", number)) {
        host.var1() = "NG";
        return;
    }
    OpenFile(folder + "hotfix.exe", {});
    host.var1() = "OK";
}

}  // namespace sixnet
