// dlopen-based loading of plug-in libraries, with the ".dll" to ".so" fallback.
#include "host/shared_library.h"

#include <dlfcn.h>

#include "engine/text.h"

namespace velmora {

namespace {

std::function<void(const std::string&)>& LoaderNotes() {
    static std::function<void(const std::string&)> sink;
    return sink;
}

// RTLD_NOW finds missing symbols at load time rather than in the middle of a call;
// RTLD_LOCAL keeps two plug-ins' symbols apart.
void* TryOpen(const std::string& nativePath, std::string& why) {
    // A name without "/" would make dlopen search the system's library folders.
    std::string path = nativePath.find('/') == std::string::npos ? "./" + nativePath : nativePath;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* error = dlerror();
        why += (why.empty() ? "" : "; ") + std::string(error ? error : path);
    }
    return handle;
}

bool EndsWithDll(const std::string& path) {
    return path.size() >= 4 && ToLowerAscii(path.substr(path.size() - 4)) == ".dll";
}

}  // namespace

void* OpenSharedLibrary(const std::string& cp932Path) {
    std::string native = NativePath(cp932Path);
    std::string why;
    void* handle = TryOpen(native, why);
    if (!handle && EndsWithDll(native))
        handle = TryOpen(native.substr(0, native.size() - 4) + ".so", why);
    if (!handle && LoaderNotes()) LoaderNotes()("dll: " + why);
    return handle;
}

void SetLoaderNotes(std::function<void(const std::string& utf8)> sink) {
    LoaderNotes() = std::move(sink);
}

void* FindExport(void* library, const char* name) {
    return dlsym(library, name);
}

void CloseSharedLibrary(void* library) {
    dlclose(library);
}

}  // namespace velmora
