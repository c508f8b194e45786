// Opening, searching and closing shared libraries named by scripts. Names are CP932
// as the script wrote them; a name ending in ".dll" that does not load is tried once
// more with ".so" in its place, so Windows scripts run unchanged.
#pragma once

#include <functional>
#include <string>

namespace velmora {

// Loads the library at the CP932 path (already resolved against programpath);
// nullptr when neither name loads. The loader's reasons go to the notes sink.
void* OpenSharedLibrary(const std::string& cp932Path);

// Where the loader's reasons for a failed load go (UTF-8, one line each); by default
// nowhere: the script sees only var2, the person tracing the run sees the reasons.
void SetLoaderNotes(std::function<void(const std::string& utf8)> sink);

// The address of an exported symbol, nullptr when the library has none.
void* FindExport(void* library, const char* name);

void CloseSharedLibrary(void* library);

// Typed look-up of an entry point.
template <typename Fn>
Fn FindEntryPoint(void* library, const char* name) {
    return reinterpret_cast<Fn>(FindExport(library, name));
}

}  // namespace velmora
