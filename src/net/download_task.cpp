// The worker thread's life and the close sequence of the progress display.
#include "net/download_task.h"

#include <signal.h>

#include <chrono>

#include "net/download_texts.h"

namespace velmora {

DownloadTask::DownloadTask(DownloadParams params, std::function<void()> pump)
    : params_(std::move(params)), pump_(std::move(pump)) {}

void DownloadTask::start() {
    // One worker per task, and none once the task is closed.
    if (worker_.joinable() || closing_) return;
    progress_.workerRunning = true;
    worker_ = std::thread([this] { work(); });
}

void DownloadTask::work() {
    // Signals belong to the user-interface thread, whose handlers expect to run there.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    result_ = RunDownload(params_, progress_);
    progress_.workerRunning = false;
}

void DownloadTask::close() {
    if (closing_) return;
    closing_ = true;
    if (progress_.workerRunning) {
        progress_.requestCancel(DownloadStatusText(DownloadStatus::CancelWaiting));
        while (progress_.workerRunning) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (pump_) pump_();
        }
        progress_.setStatus(DownloadStatusText(DownloadStatus::CancelDone));
    }
    if (worker_.joinable()) worker_.join();
}

}  // namespace velmora
