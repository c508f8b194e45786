// One inotify descriptor and one thread for every watched file of the process.
#include "engine/file_watch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace velmora {

namespace {

class Watcher {
public:
    static Watcher& instance() {
        static Watcher w;
        return w;
    }

    // Registers a flag for name in dir; -1 when inotify is not available.
    int add(const std::string& dir, const std::string& name,
            std::shared_ptr<std::atomic<bool>> flag) {
        if (fd_ < 0) return -1;
        std::lock_guard<std::mutex> lock(mutex_);
        int wd = inotify_add_watch(fd_, dir.c_str(),
                                   IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE |
                                       IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF);
        if (wd < 0) return -1;
        int id = nextId_++;
        entries_[id] = Entry{wd, name, std::move(flag)};
        return id;
    }

    void remove(int id) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = entries_.find(id);
        if (it == entries_.end()) return;
        int wd = it->second.wd;
        entries_.erase(it);
        for (const auto& [_, e] : entries_)
            if (e.wd == wd) return;
        inotify_rm_watch(fd_, wd);
    }

private:
    struct Entry {
        int wd;
        std::string name;
        std::shared_ptr<std::atomic<bool>> flag;
    };

    Watcher() {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        stop_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (fd_ >= 0 && stop_ >= 0) {
            thread_ = std::thread([this] { run(); });
        } else {
            if (fd_ >= 0) close(fd_);
            fd_ = -1;
        }
    }

    ~Watcher() {
        if (thread_.joinable()) {
            std::uint64_t one = 1;
            (void)!write(stop_, &one, sizeof one);
            thread_.join();
        }
        if (fd_ >= 0) close(fd_);
        if (stop_ >= 0) close(stop_);
    }

    void run() {
        alignas(inotify_event) char buf[8192];
        for (;;) {
            pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) continue;
            if (fds[1].revents) return;
            ssize_t n = read(fd_, buf, sizeof buf);
            std::lock_guard<std::mutex> lock(mutex_);
            if (n <= 0) continue;
            for (char* p = buf; p < buf + n;) {
                auto* ev = reinterpret_cast<inotify_event*>(p);
                notify(*ev);
                p += sizeof(inotify_event) + ev->len;
            }
        }
    }

    void notify(const inotify_event& ev) {
        bool all = (ev.mask & (IN_Q_OVERFLOW | IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0;
        for (auto& [_, e] : entries_) {
            if (all || (e.wd == ev.wd && ev.len && e.name == ev.name))
                e.flag->store(true, std::memory_order_release);
        }
    }

    int fd_ = -1, stop_ = -1, nextId_ = 0;
    std::mutex mutex_;
    std::map<int, Entry> entries_;
    std::thread thread_;
};

}  // namespace

void FileWatch::watch(const std::string& path) {
    if (id_ >= 0) Watcher::instance().remove(id_);
    flag_ = std::make_shared<std::atomic<bool>>(true);
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    id_ = Watcher::instance().add(dir, name, flag_);
    if (id_ < 0) flag_.reset();  // no notification: every read checks the file itself
}

FileWatch::~FileWatch() {
    if (id_ >= 0) Watcher::instance().remove(id_);
}

}  // namespace velmora
