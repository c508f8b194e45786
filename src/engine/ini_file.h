// The settings file variable.txt (and other programs' INI files): an INI reader and writer
// with the semantics scripts expect of the Windows profile functions. Reads come from a
// cache that is refreshed only when the file on disk changed; every write replaces the
// file atomically where the folder allows it. No value can break its line: a line feed
// is stored as "/ret" and read back as a line feed.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file_calls.h"
#include "engine/file_watch.h"

namespace velmora {

// What became of a write.
enum class IniWrite {
    Saved,     // on disk
    BadKey,    // the key would not read back as itself; nothing changed
    NotSaved,  // the file could not be written; the value holds until the file changes on disk
};

// How the cache learns that the file changed: a watching thread, or a look at every read
// (for short-lived users, such as a plug-in that may be unloaded).
enum class ChangeNotice { Watch, StatEveryRead };

class IniFile {
public:
    explicit IniFile(const FileCalls& calls = SystemFileCalls()) : calls_(&calls) {}
    void setPath(const std::string& nativePath, ChangeNotice notice = ChangeNotice::Watch);
    const std::string& path() const { return path_; }

    // False when the section or key is absent. Names are trimmed and match without regard
    // to the case of ASCII letters. The value is trimmed of surrounding white space and one
    // pair of enclosing quotes, and cut to 999 bytes.
    bool get(std::string_view section, std::string_view key, std::string& value);
    // Creates the file, the section and the key as needed; the key is trimmed, as reads
    // trim it. A file that exists but cannot be read is never written.
    IniWrite set(std::string_view section, std::string_view key, std::string_view value);
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

    void refresh();
    int findSection(std::string_view section) const;  // index of the header line, or -1
    int findKey(int sectionLine, std::string_view key) const;
    enum class Replaced { Yes, NoTemporaryFile, Failed };
    bool save();
    Replaced replaceAtomically(const std::string& target, const std::string& data);
    bool writeInPlace(const std::string& target, const std::string& data);

    const FileCalls* calls_;  // how saves reach the disk
    std::string path_;
    FileWatch watch_;
    mode_t mode_ = 0644;              // permissions of the file as found, kept by every rewrite
    std::vector<std::string> lines_;  // the file's lines without their ends
    bool crlf_ = true;                // line ends of the file as found (new files: CR LF)
    bool loaded_ = false;
    bool unreadable_ = false;  // the file is there but could not be read: never overwrite it
    Stamp stamp_;
};

}  // namespace velmora
