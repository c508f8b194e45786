// The checker with every subsystem's commands installed, printing its findings.
#include "app/check.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/console_frontend.h"
#include "app/subsystems.h"
#include "engine/engine.h"
#include "engine/script_check.h"
#include "engine/text.h"
#include "window/display.h"

namespace velmora {

namespace {

// Japanese when the locale for messages is: LC_ALL, else LC_MESSAGES, else LANG.
CheckLanguage LanguageOfLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return std::strncmp(value, "ja", 2) == 0 ? CheckLanguage::Japanese
                                                     : CheckLanguage::English;
    }
    return CheckLanguage::English;
}

}  // namespace

int RunCheck(const std::string& programPath, const std::string& file) {
    // A named file is checked with its own folder as the program folder.
    std::string folder = programPath, path = file.empty() ? programPath + "code.txt" : file;
    if (!file.empty()) {
        size_t slash = file.rfind('/');
        folder = slash == std::string::npos ? "./" : file.substr(0, slash + 1);
    }
    ConsoleFrontend fe;
    Engine engine(fe);
    fe.attach(engine);
    Display display(engine);
    Subsystems subsystems(engine, display);
    engine.setProgramPath(Utf8ToCp932(folder));  // the engine works in CP932
    engine.LoadSettings();
    const CheckLanguage language = LanguageOfLocale();
    const bool japanese = language == CheckLanguage::Japanese;
    std::vector<Finding> findings =
        CheckScript(engine, path, engine.vars[kProgramPath], engine.vars[kBegin], language);
    size_t errors = 0;
    for (const Finding& f : findings) {
        const bool warning = f.severity == Severity::Warning;
        errors += warning ? 0 : 1;
        const std::string text =
            (warning ? (japanese ? "警告：" : "warning: ") : std::string()) + f.message;
        if (f.line > 0)
            std::printf("%s:%d: %s\n", f.file.c_str(), f.line, text.c_str());
        else
            std::printf("%s: %s\n", f.file.c_str(), text.c_str());
    }
    // Which file was checked: without a name the folder is a guess the author should see.
    const size_t warnings = findings.size() - errors;
    if (japanese) {
        std::fprintf(stderr, "velmora: %s を検査しました：指摘 %zu 件、警告 %zu 件\n", path.c_str(),
                     errors, warnings);
    } else {
        std::string counts = std::to_string(errors) + (errors == 1 ? " finding" : " findings");
        if (warnings > 0)
            counts += ", " + std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings");
        std::fprintf(stderr, "velmora: checked %s: %s\n", path.c_str(), counts.c_str());
    }
    return errors == 0 ? 0 : 1;
}

}  // namespace velmora
