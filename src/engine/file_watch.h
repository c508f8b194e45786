// Tells cheaply whether a file may have changed. The reader and the settings cache ask
// at every read; a stat per read would cost more than running the line, so one
// background thread listens to inotify and raises a flag instead.
#pragma once

#include <atomic>
#include <memory>
#include <string>

namespace velmora {

class FileWatch {
public:
    FileWatch() = default;
    explicit FileWatch(const std::string& nativePath) { watch(nativePath); }
    ~FileWatch();
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

    // Starts watching path (its folder, so a file replaced by rename is noticed too).
    void watch(const std::string& nativePath);
    // True when the file may have changed since the last call (always true when the
    // system offers no notification); clears the flag.
    // A plain load first: the read-modify-write is dearer, and the answer is nearly always no.
    bool changed() {
        return !flag_ || (flag_->load(std::memory_order_acquire) &&
                          flag_->exchange(false, std::memory_order_acq_rel));
    }
    // Marks the file as possibly changed, for writers in this process that must be seen
    // at the very next read.
    void touch() {
        if (flag_) flag_->store(true, std::memory_order_release);
    }

private:
    std::shared_ptr<std::atomic<bool>> flag_;
    int id_ = -1;
};

}  // namespace velmora
