// The plug-in host: the `dll` command, which loads shared libraries at run time, calls
// their functions with the current line as arguments and unloads them, and the release
// of every library still loaded when the program shuts down.
#pragma once

#include <string>
#include <vector>

#include "engine/engine.h"

namespace velmora {

// One loaded library; a node of the host's doubly linked list.
struct LoadedPlugin {
    LoadedPlugin* next = nullptr;
    LoadedPlugin* previous = nullptr;
    void* library = nullptr;
    std::string name;  // as given to 'dll,load'; compared byte for byte
};

class PluginHost : public EngineModule {
public:
    // Adds the `dll` command and the shutdown hook to the engine.
    explicit PluginHost(Engine& engine);
    ~PluginHost() override;
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // The sub-commands' work; var1 is set by the command, var2 by Load.
    bool Load(const std::string& path, const std::string& name);
    bool Unload(const std::string& name);
    bool CallPlugin(const std::string& name, const std::string& function);
    // Closes every library without calling Remove; the list is empty afterwards.
    void releaseAll();

    const LoadedPlugin* first() const { return head_; }
    void onShutdownRelease() override { releaseAll(); }

private:
    class CallGuard;
    // The rows of the `dll` command, one per sub-command (parameter 1, lower-cased).
    void loadCommand();
    void unloadCommand();
    void callCommand();
    void reportAndStop(const std::string& text);
    void reportThrow(const char* entryPoint, const std::string& what);
    // The executable's folder and the installed plug-in folder, CP932, each ending in "/".
    static std::vector<std::string> ProgramPluginDirs();
    LoadedPlugin* findPlugin(const std::string& name) const;
    void appendPlugin(LoadedPlugin* plugin);
    void unlinkPlugin(LoadedPlugin* plugin);
    void closeLibrary(void* library);
    void dropPlugin(LoadedPlugin* plugin);
    void closeDeferred();

    Engine& engine_;
    LoadedPlugin* head_ = nullptr;
    // Calls into plug-ins in progress. A dialog inside a call can run events that
    // unload or shut down; the running library is closed only once its call returns.
    int callsRunning_ = 0;
    std::vector<void*> deferred_;
};

}  // namespace velmora
