#include "private_home.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace velmora::test {

namespace {

// The variables and the folder each gets under the private root.
constexpr const char* kFolders[][2] = {
    {"HOME", "home"},
    {"XDG_CONFIG_HOME", "config"},
    {"XDG_DATA_HOME", "data"},
    {"XDG_CACHE_HOME", "cache"},
    {"XDG_STATE_HOME", "state"},
    {"XDG_RUNTIME_DIR", "runtime"},
};

}  // namespace

PrivateHome::PrivateHome() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "velmora-home-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) return;
    root_ = tmpl;
    for (const auto& [name, folder] : kFolders) {
        const std::string path = root_ + "/" + folder;
        ::mkdir(path.c_str(), 0700);  // XDG_RUNTIME_DIR must be private to the user
        setenv(name, path.c_str(), 1);
    }
}

PrivateHome::~PrivateHome() {
    std::error_code ec;
    if (!root_.empty()) std::filesystem::remove_all(root_, ec);
}

}  // namespace velmora::test
