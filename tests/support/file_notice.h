// Waiting for the engine to hear of a file change: a second watch on the same file. One
// thread marks every watch of a changed file in the same pass, so once this probe has
// heard of the change, the reader's or settings cache's watch has too.
#pragma once

#include <string>

#include "engine/file_watch.h"
#include "wait.h"

namespace velmora::test {

class FileNoticeProbe {
public:
    // Start before the change; the watch's first answer (always "changed") is used up here.
    explicit FileNoticeProbe(const std::string& path) : watch_(path) { watch_.changed(); }
    // Waits for the notice of a change made after construction.
    bool arrived() {
        return WaitFor([this] { return watch_.changed(); });
    }

private:
    FileWatch watch_;
};

}  // namespace velmora::test
