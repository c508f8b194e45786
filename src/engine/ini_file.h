// The settings file variable.txt: an INI reader and writer with the semantics scripts
// expect of the Windows profile functions. Reads come from a cache that is refreshed
// only when the file on disk changed; every write replaces the file atomically.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file_watch.h"

namespace velmora {

class IniFile {
public:
    void setPath(const std::string& nativePath);
    const std::string& path() const { return path_; }

    // False when the section or key is absent. The value is trimmed of surrounding white
    // space and one pair of enclosing quotes, and cut to 999 bytes.
    bool get(std::string_view section, std::string_view key, std::string& value);
    // Creates the file, the section and the key as needed. False when the file could
    // not be written (the old file is then untouched).
    bool set(std::string_view section, std::string_view key, std::string_view value);
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
    bool save();

    std::string path_;
    FileWatch watch_;
    mode_t mode_ = 0644;              // permissions of the file as found, kept by every rewrite
    std::vector<std::string> lines_;  // the file's lines without their ends
    bool crlf_ = true;                // line ends of the file as found (new files: CR LF)
    bool loaded_ = false;
    Stamp stamp_;
};

}  // namespace velmora
