// The file a download writes. Where it is harmless, the body goes to a temporary file
// beside the target and replaces it only when the download succeeds, so a failed download
// neither leaves a partial file nor destroys the file that was there. Where a replace would
// fail or change the file's identity (other names, owner, attributes), the existing file is
// written in place instead. Devices and pipes are written directly. Used on one thread at
// a time.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "engine/file_calls.h"

namespace velmora {

class TargetFile {
public:
    enum class Way {
        None,     // nothing open
        Replace,  // a temporary file takes the target's name on commit
        InPlace,  // the existing file, emptied before the first byte
        Device,   // a device or pipe, written as it is
    };

    explicit TargetFile(const FileCalls& calls = SystemFileCalls()) : calls_(calls) {}
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;
    ~TargetFile() { discard(); }

    // Prepares to write the file at path (an OS path; symbolic links are followed to the
    // file they name, even one that does not exist yet); false when it cannot be written.
    bool create(const std::string& path);
    bool write(const char* data, size_t n);
    // Puts the written bytes under the target name; false on failure, and then the target is
    // as it was unless it was being written in place.
    bool commit();
    // Forgets the written bytes: the temporary file is removed; a file the download did not
    // create stays (written in place, it is empty or partial once a byte was written).
    void discard();

    Way way() const { return way_; }
    // The temporary file while one is open (tests look at it); empty otherwise.
    const std::string& temporaryPath() const { return temp_; }

private:
    bool openTemporary(const std::string& target, int oldFd);

    const FileCalls& calls_;
    Way way_ = Way::None;
    int fd_ = -1;
    bool emptied_ = false;
    std::string target_;
    std::string temp_;  // set while Way::Replace
};

}  // namespace velmora
