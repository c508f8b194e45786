// The settings file variable.txt (and other programs' INI files): an INI reader and writer
// with the semantics scripts expect of the Windows profile functions. Reads come from a
// cache that is refreshed only when the file on disk changed. A save locks the folder,
// reads the file again and applies this run's changes to it, so other programs' changes
// are kept; it replaces the file atomically where that changes nothing else, and writes
// it in place otherwise, so that the file is always the old one or the new one, whole.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/file_calls.h"
#include "engine/file_watch.h"
#include "engine/ini_lines.h"

namespace velmora {

// A bigger "settings file" is not one (a device, a runaway log): it is never read whole
// nor rewritten, and no write may make the file bigger.
constexpr off_t kMaxIniFileSize = 64 << 20;

// What became of a write. Whenever it is not Saved, the value still holds for this run.
enum class IniWrite {
    Saved,     // on disk
    Held,      // kept in memory until the next save()
    BadKey,    // the key would not read back as itself; nothing changed
    NotSaved,  // the file could not be written; the next save tries again
    TooLarge,  // the file would grow past kMaxIniFileSize; this value is never written
};

// Whether set() saves the file at once or leaves that to a later save().
enum class SaveWhen { Now, Later };

// How the cache learns that the file changed: a watching thread, or a look at every read
// (for short-lived users, such as a plug-in that may be unloaded).
enum class ChangeNotice { Watch, StatEveryRead };

class IniFile {
public:
    explicit IniFile(const FileCalls& calls = SystemFileCalls()) : calls_(&calls) {}
    ~IniFile() { save(); }
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;
    // Saves what is held for the old path first. Also removes what an earlier save that was
    // killed left beside the file.
    void setPath(const std::string& nativePath, ChangeNotice notice = ChangeNotice::Watch);
    const std::string& path() const { return path_; }

    // False when the section or key is absent. Names are trimmed and match without regard
    // to the case of ASCII letters; values read as ReadValue (ini_lines.h) gives them.
    bool get(std::string_view section, std::string_view key, std::string& value);
    // Creates the file, the section and the key as needed; the key is trimmed, as reads
    // trim it. A file that exists but cannot be read is never written.
    IniWrite set(std::string_view section, std::string_view key, std::string_view value,
                 SaveWhen when = SaveWhen::Now);
    // Writes every held value to the file; Saved when nothing is left to write.
    IniWrite save();
    // Values wait to be written; since when the oldest has waited.
    bool holdsUnsaved() const { return unsavedSince_.has_value(); }
    std::chrono::steady_clock::time_point unsavedSince() const { return *unsavedSince_; }
    // True when the (trimmed) key reads back as itself: no line break, no "=", and no
    // leading "[" or ";", which would make its line a section or a comment.
    static bool KeyReadsBack(std::string_view key);
    // The next read looks at the file even without a change notice.
    void touch() { watch_.touch(); }

private:
    struct Stamp {
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = -1;
        timespec mtime{};
        bool operator==(const Stamp& o) const {
            return dev == o.dev && ino == o.ino && size == o.size &&
                   mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
        }
    };
    // A value this run set that is not on disk: it wins over the file until it is saved.
    struct Held {
        std::string section, key;  // as given
        std::string stored;        // in its stored form
        bool toWrite;              // false when it must never be written (TooLarge)
    };
    enum class Read { Missing, Whole, Unreadable };

    void refresh();
    Read readFile(std::string& data) const;
    static std::string HeldKey(std::string_view section, std::string_view key);
    const Held* findHeld(std::string_view section, std::string_view key) const;
    void hold(Held held);
    void forgetSaved();
    bool writeFile(const std::string& target, const std::string& data, const std::string& old);
    enum class Replaced { Yes, NotHere, Failed };
    Replaced replaceAtomically(const std::string& target, int oldFd, const std::string& data);
    bool writeInPlace(int fd, const std::string& data, const std::string& old);
    void removeLeftovers() const;

    const FileCalls* calls_;  // how saves reach the disk
    std::string path_;
    FileWatch watch_;
    IniLines disk_;                                   // the file as last read or written
    std::vector<Held> held_;                          // in the order they were first set
    std::unordered_map<std::string, size_t> heldAt_;  // HeldKey to index in held_
    std::optional<std::chrono::steady_clock::time_point> unsavedSince_;
    bool loaded_ = false;
    Stamp stamp_;
};

}  // namespace velmora
