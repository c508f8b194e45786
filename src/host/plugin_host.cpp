// The `dll` command and the list of loaded plug-ins.
#include "host/plugin_host.h"

#include <unistd.h>

#include "engine/system_helpers.h"
#include "engine/text.h"
#include "host/shared_library.h"

namespace velmora {

namespace {

VELMORA_CP932_FORMAT(LoadError, (const std::string& path), "DLLロードエラー %s", path.c_str())
VELMORA_CP932(InitMissing, "DLLInit呼び出しエラー")
VELMORA_CP932(InitRefused, "DLLInitエラー")
VELMORA_CP932_FORMAT(NotFound, (const std::string& name, const std::string& function),
                     "DLLエラー：関数が見つかりません %s/%s", name.c_str(), function.c_str())
VELMORA_CP932_FORMAT(UnknownCommand, (const std::string& word), "DLLエラー：不明なコマンドです %s",
                     word.c_str())
VELMORA_CP932_FORMAT(Threw, (const char* entryPoint, const std::string& what),
                     "DLLエラー：%s が例外で終わりました %s", entryPoint, what.c_str())

// Runs an entry point of a plug-in. Plug-ins are foreign code: an exception from one
// must end neither the program nor its exit section. Empty when fn returned; else why not.
template <class Fn>
std::string Guarded(Fn&& fn) {
    try {
        fn();
        return "";
    } catch (const std::exception& e) {
        return e.what()[0] ? e.what() : "exception";
    } catch (...) {
        return "exception";
    }
}

}  // namespace

// Counts a call into plug-in code; the last one to return closes what was released
// meanwhile.
class PluginHost::CallGuard {
public:
    explicit CallGuard(PluginHost& host) : host_(host) { ++host_.callsRunning_; }
    ~CallGuard() {
        if (--host_.callsRunning_ == 0) host_.closeDeferred();
    }
    CallGuard(const CallGuard&) = delete;
    CallGuard& operator=(const CallGuard&) = delete;

private:
    PluginHost& host_;
};

PluginHost::PluginHost(Engine& engine) : engine_(engine) {
    auto run = [this](void (PluginHost::*handler)()) {
        return [this, handler](Engine&) { (this->*handler)(); };
    };
    engine.addCommands({{
        .word = "dll",
        .minParams = 2,
        .run = {},
        .subcommands =
            {
                {.word = "load", .minParams = 3, .run = run(&PluginHost::loadCommand)},
                {.word = "unload", .minParams = 2, .run = run(&PluginHost::unloadCommand)},
                {.word = "call", .minParams = 3, .run = run(&PluginHost::callCommand)},
            },
        .unknownSubcommand = [](const std::string& word, int) { return UnknownCommand(word); },
    }});
    engine.addModule(*this);
    SetLoaderNotes([&engine](const std::string& note) { engine.traceUtf8(note); });
}

PluginHost::~PluginHost() {
    SetLoaderNotes({});
    releaseAll();
    closeDeferred();
}

void PluginHost::loadCommand() {
    // Copies: Init receives the line and may write into it.
    std::string path = engine_.line.p(2), name = engine_.line.p(3);
    bool ok = Load(path, name);
    engine_.vars[kVar1] = ok ? "OK" : "NG";
}

void PluginHost::unloadCommand() {
    bool ok = Unload(engine_.line.p(2));
    engine_.vars[kVar1] = ok ? "OK" : "NG";
}

void PluginHost::callCommand() {
    // Copies: the plug-in may write into the line while it runs.
    std::string name = engine_.line.p(2), function = engine_.line.p(3);
    if (!CallPlugin(name, function)) reportAndStop(NotFound(name, function));
}

std::vector<std::string> PluginHost::ProgramPluginDirs() {
    std::string bin = FolderOf(ExecutablePath());
    if (bin.empty()) return {};
    // A build keeps sixnet.so beside the executable; an installed velmora keeps its
    // plug-ins in lib/velmora beside bin.
    return {Utf8ToCp932(bin), Utf8ToCp932(bin + "../" VELMORA_PLUGIN_SUBDIR "/")};
}

void PluginHost::reportAndStop(const std::string& text) {
    engine_.reportError(text);
    engine_.StopScript();
}

bool PluginHost::Load(const std::string& path, const std::string& name) {
    if (findPlugin(name)) return true;
    std::string full = engine_.resolvePath(path);
    // A relative path: the program folder first, then the program's own folders.
    void* library = OpenSharedLibrary(full);
    if (!IsAbsoluteName(path)) {
        for (const std::string& dir : ProgramPluginDirs())
            if (!library && dir != engine_.vars[kProgramPath])
                library = OpenSharedLibrary(dir + path);
    }
    if (!library) {
        engine_.vars[kVar2] = LoadError(full);
        return false;
    }
    auto init = FindEntryPoint<VelmoraPluginInit>(library, "Init");
    if (!init) {
        engine_.vars[kVar2] = InitMissing();
        closeLibrary(library);
        return false;
    }
    std::int32_t accepted = 0;
    std::string failure;
    {
        CallGuard guard(*this);
        failure = Guarded([&] { accepted = init(&engine_.vars[0], &engine_.line); });
    }
    if (!failure.empty()) {
        reportThrow("Init", failure);
        closeLibrary(library);
        return false;
    }
    if (accepted != 1) {
        engine_.vars[kVar2] = InitRefused();
        closeLibrary(library);
        return false;
    }
    appendPlugin(new LoadedPlugin{nullptr, nullptr, library, name});
    return true;
}

bool PluginHost::Unload(const std::string& name) {
    LoadedPlugin* plugin = findPlugin(name);
    if (!plugin) return false;
    unlinkPlugin(plugin);
    if (auto remove = FindEntryPoint<VelmoraPluginRemove>(plugin->library, "Remove")) {
        CallGuard guard(*this);
        // The library goes all the same: what it failed to release dies with its mapping.
        if (std::string failure = Guarded(remove); !failure.empty()) reportThrow("Remove", failure);
    }
    closeLibrary(plugin->library);
    delete plugin;
    return true;
}

// Without Remove: for a plug-in that failed, and at shutdown.
void PluginHost::dropPlugin(LoadedPlugin* plugin) {
    unlinkPlugin(plugin);
    closeLibrary(plugin->library);
    delete plugin;
}

bool PluginHost::CallPlugin(const std::string& name, const std::string& function) {
    LoadedPlugin* plugin = findPlugin(name);
    if (!plugin) return false;
    auto call = FindEntryPoint<VelmoraPluginCall>(plugin->library, "Call");
    if (!call) return true;
    std::int32_t answer = 0;
    std::string failure;
    {
        CallGuard guard(*this);
        // Passed by value: the plug-in gets, and may change, its own copy of the name.
        failure = Guarded([&] { answer = call(function); });
    }
    if (failure.empty()) return answer == 0;
    // A plug-in that failed this way is in no state to be called again; Remove is not
    // called either, as at shutdown.
    reportThrow("Call", failure);
    engine_.vars[kVar1] = "NG";
    if ((plugin = findPlugin(name))) dropPlugin(plugin);
    return true;
}

// As the loader reports: var2 says why, and the trace has it too.
void PluginHost::reportThrow(const char* entryPoint, const std::string& what) {
    engine_.vars[kVar2] = Threw(entryPoint, Utf8ToCp932(what));
    engine_.trace(engine_.vars[kVar2]);
}

void PluginHost::releaseAll() {
    while (LoadedPlugin* plugin = head_) dropPlugin(plugin);
}

LoadedPlugin* PluginHost::findPlugin(const std::string& name) const {
    for (LoadedPlugin* p = head_; p; p = p->next)
        if (p->name == name) return p;
    return nullptr;
}

void PluginHost::appendPlugin(LoadedPlugin* plugin) {
    if (!head_) {
        head_ = plugin;
        return;
    }
    LoadedPlugin* tail = head_;
    while (tail->next) tail = tail->next;
    tail->next = plugin;
    plugin->previous = tail;
}

void PluginHost::unlinkPlugin(LoadedPlugin* plugin) {
    if (plugin->previous) plugin->previous->next = plugin->next;
    if (plugin->next) plugin->next->previous = plugin->previous;
    if (head_ == plugin) head_ = plugin->next;
    plugin->next = plugin->previous = nullptr;
}

void PluginHost::closeLibrary(void* library) {
    if (callsRunning_ > 0)
        deferred_.push_back(library);
    else
        CloseSharedLibrary(library);
}

void PluginHost::closeDeferred() {
    std::vector<void*> libraries;
    libraries.swap(deferred_);
    for (void* library : libraries) CloseSharedLibrary(library);
}

}  // namespace velmora
