// Built-in variables, the clock names, the script's own variables and the settings.
#include <ctime>
#include <string_view>
#include <unordered_map>

#include "engine/engine.h"
#include "engine/frontend.h"
#include "engine/ini_file.h"
#include "engine/messages.h"
#include "engine/text.h"

namespace velmora {

const char* const kBuiltinNames[kBuiltinCount] = {
    "choice_pos1", "choice_pos2", "choice_pos3", "choice_pos4", "choice_pos5",
    "choice_pos6", "choice_sel",  "choice_text", "text_pos",    "var1",
    "var2",        "var3",        "bookmark",    "background",  "exit_pos",
    "begin_pos",   "begin",       "windows_pos", "title",       "programpath",
    "programver",  "counter",     "webroot",     "proxy",       "proxyport",
};

namespace {

const char kDynamic[] = "dynamic";
const char kDefault[] = "default";

// Clock names are read-only and computed at every read.
bool ClockValue(const std::string& name, std::string& out) {
    static const char* const names[] = {"year", "month", "day", "hour", "min", "sec"};
    int which = -1;
    for (int i = 0; i < 6; ++i)
        if (name == names[i]) which = i;
    if (which < 0) return false;
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    const int values[] = {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
    out = Format("%i", values[which]);
    return true;
}

const std::string& BuiltinDefault(const std::string& key) {
    static const std::string empty;
    static const struct {
        const char* key;
        std::string value;
    } table[] = {
        {"text_pos", "10,10,350,150"},     {"choice_pos1", "20,50,320,70"},
        {"choice_pos2", "20,70,320,90"},   {"choice_pos3", "20,90,320,110"},
        {"choice_pos4", "20,110,320,130"}, {"choice_pos5", "20,130,320,150"},
        {"choice_pos6", "20,150,320,170"}, {"begin", "[main]"},
        {"title", msg::DefaultTitle()},    {"counter", "0"},
        {"webroot", "c:/public_html"},
    };
    for (const auto& row : table)
        if (key == row.key) return row.value;
    return empty;
}

}  // namespace

int BuiltinIndexOf(const std::string& name) {
    // Every expansion asks: one hash instead of 25 comparisons.
    static const std::unordered_map<std::string_view, int> index = [] {
        std::unordered_map<std::string_view, int> m;
        for (int i = 0; i < kBuiltinCount; ++i) m.emplace(kBuiltinNames[i], i);
        return m;
    }();
    auto it = index.find(name);
    return it == index.end() ? -1 : it->second;
}

std::string Engine::GetVariable(const std::string& name, const std::string& def) {
    if (int i = BuiltinIndexOf(name); i >= 0) return vars[i];
    std::string value;
    if (ClockValue(name, value)) return value;
    if (settings_->get(kDynamic, name, value)) return value;
    return def;
}

void Engine::SetVariable(const std::string& name, const std::string& value) {
    if (int i = BuiltinIndexOf(name); i >= 0) {
        vars[i] = value;
        for (EngineModule* m : modules_) m->onVariableSet(i);
        return;
    }
    storeSetting(kDynamic, name, value);
}

std::string Engine::ReadSetting(const std::string& key, const std::string& def) {
    std::string value;
    if (!settings_->get(kDefault, key, value)) value = def;
    return value.empty() ? BuiltinDefault(key) : value;
}

void Engine::WriteSetting(const std::string& key, const std::string& value) {
    storeSetting(kDefault, key, value);
}

void Engine::storeSetting(const char* section, const std::string& key, const std::string& value) {
    reportSettingsResult(settings_->set(section, key, value, SaveWhen::Later), key);
}

void Engine::saveHeldSettings() {
    if (settings_->holdsUnsaved()) reportSettingsResult(settings_->save(), msg::HeldValues());
}

void Engine::reportSettingsResult(IniWrite result, const std::string& key) {
    switch (result) {
        case IniWrite::Saved:
        case IniWrite::Held:
            break;
        case IniWrite::BadKey:
            reportError(msg::BadVariableName(key, line.lineNumber));
            break;
        case IniWrite::NotSaved:
            // Once per run: a script that sets in a loop would otherwise bury the user.
            if (!settingsFailureShown_) {
                settingsFailureShown_ = true;
                reportError(msg::SettingsNotSaved(settingsPath_));
            }
            break;
        case IniWrite::TooLarge:
            if (!settingsTooLargeShown_) {
                settingsTooLargeShown_ = true;
                reportError(msg::SettingsTooLarge(settingsPath_, key));
            }
            break;
    }
}

void Engine::LoadSettings() {
    vars[kProgramPath] = programPath_;
    vars[kProgramVer] = "1.0";
    settingsPath_ = programPath_ + "variable.txt";
    settings_->setPath(NativePath(settingsPath_));
    defaultScriptPath_ = programPath_ + "code.txt";

    for (int i : {kChoicePos1, kChoicePos2, kChoicePos3, kChoicePos4, kChoicePos5, kChoicePos6,
                  kTextPos, kBookmark, kBegin, kWebRoot, kProxy, kProxyPort, kBackground})
        vars[i] = ReadSetting(kBuiltinNames[i], "");
    fe_.loadSkin("");

    vars[kExitPos] = ReadSetting("exit_pos", "");
    vars[kBeginPos] = ReadSetting("begin_pos", "");
    ParseRect(vars[kBeginPos], beginArea);
    ParseRect(vars[kExitPos], exitArea);

    vars[kWindowsPos] = ReadSetting("windows_pos", "");
    fe_.placeWindow("");

    vars[kTitle] = ReadSetting("title", "");
    fe_.setTitle(vars[kTitle]);
}

}  // namespace velmora
