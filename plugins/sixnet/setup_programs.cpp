// `2ksetup2` and `2ksetup3`: start the IPv6 set-up program with "-x", and record the
// service-pack level in a hot fix's hotfix.inf before starting its hotfix.exe.
#include <cstdlib>

#include "engine/text.h"
#include "launch.h"
#include "profile_write.h"
#include "sixnet.h"

namespace sixnet {

namespace {

// The folder part of a path, with its trailing "/"; empty for a bare file name.
std::string FolderOf(const std::string& nativePath) {
    std::string::size_type slash = nativePath.rfind('/');
    return slash == std::string::npos ? std::string() : nativePath.substr(0, slash + 1);
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
    std::string folder = FolderOf(velmora::NativePath(target));
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
