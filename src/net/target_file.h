// The file a download writes. The body goes to a temporary file beside the target and
// replaces it only when the download succeeds, so a failed download neither leaves a
// partial file nor destroys the file that was there. Devices and pipes are written
// directly. Used on one thread at a time.
#pragma once

#include <cstddef>
#include <string>

namespace velmora {

class TargetFile {
public:
    TargetFile() = default;
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;
    ~TargetFile() { discard(); }

    // Prepares to write the file at path (an OS path); false when it cannot be written.
    bool create(const std::string& path);
    bool write(const char* data, size_t n);
    // Puts the written bytes under the target name; false (and nothing changed) on failure.
    bool commit();
    // Forgets the written bytes: the temporary file is removed, the target left as it was.
    void discard();

    // The temporary file while one is open (tests look at it); empty otherwise.
    const std::string& temporaryPath() const { return temp_; }

private:
    bool openTemporary(const std::string& target, int mode);
    bool openDirect(const std::string& target);

    int fd_ = -1;
    std::string target_;
    std::string temp_;  // empty when writing straight into target_
};

}  // namespace velmora
