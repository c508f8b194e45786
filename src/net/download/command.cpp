// The download command row and its results, the worker thread's life and the close
// sequence of the progress display.
#include "net/download/command.h"

#include <signal.h>

#include <chrono>

#include "engine/text.h"
#include "net/download/texts.h"

namespace velmora {

DownloadModule::DownloadModule(Engine& engine) {
    engine.addCommands({{"download", 2, [this](Engine& e) { download(e); }}});
    engine.addModule(*this);
}

void DownloadModule::onShutdownStop() {
    if (active_) active_->requestCancel();
}

void DownloadModule::download(Engine& engine) {
    engine.CancelWaits();
    const std::string url = engine.line.p(1);
    DownloadParams params;
    params.url = url;
    // Relative names stay relative to the current directory.
    params.file = NativePath(engine.line.p(2));
    params.proxy = engine.vars[kProxy];
    params.proxyPort = engine.vars[kProxyPort];
    DownloadTask task(std::move(params), [&engine] { engine.PumpOneMessage(); });
    // The "[exit]" section of a shutdown during the download may download too.
    DownloadTask* outer = active_;
    active_ = &task;
    engine.frontend().runModalProgress(DownloadCaption(), url, task);
    task.close();
    active_ = outer;
    // The worker has ended: its outcome is stored here, on the user-interface thread.
    const DownloadResult& result = task.result();
    engine.vars[kVar1] = result.ok ? "OK" : "NG";
    if (!result.ok) engine.vars[kVar2] = result.reason;
}

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
