// The download command: 'download,<url>,<file>' fetches the URL over HTTP/1.0 (directly
// or through the proxy of the proxy and proxyport variables) into the file, showing the
// front end's modal progress display meanwhile. var1 becomes "OK" or "NG", var2 the reason.
#pragma once

#include <functional>
#include <thread>

#include "engine/engine.h"
#include "engine/frontend.h"
#include "net/download/worker.h"

namespace velmora {

// One download as the progress display sees it: the worker thread, its status, and the
// close sequence that cancels an unfinished transfer and waits for the thread.
class DownloadTask : public ProgressTask {
public:
    // pump dispatches one pending event of the user-interface thread; the close sequence
    // calls it while it waits for the worker, so the display stays alive.
    DownloadTask(DownloadParams params, std::function<void()> pump);
    ~DownloadTask() override { close(); }
    DownloadTask(const DownloadTask&) = delete;
    DownloadTask& operator=(const DownloadTask&) = delete;

    void start() override;
    std::string statusText() const override { return progress_.status(); }
    bool finished() const override { return !progress_.workerRunning.load(); }
    // Body bytes against the length the server announced.
    ProgressAmount amount() const override {
        return {progress_.receivedBytes(), progress_.announcedBytes()};
    }
    void close() override;
    // Asks the worker to stop without waiting (the program is shutting down).
    void requestCancel() { progress_.requestCancel(); }

    // The worker's outcome; valid once close() has returned.
    const DownloadResult& result() const { return result_; }
    DownloadProgress& progress() { return progress_; }

private:
    void work();

    DownloadParams params_;
    std::function<void()> pump_;
    DownloadProgress progress_;
    DownloadResult result_;
    std::thread worker_;
    bool closing_ = false;
};

class DownloadModule : public EngineModule {
public:
    explicit DownloadModule(Engine& engine);
    // A shutdown while a download runs stops its worker, so the display closes.
    void onShutdownStop() override;

private:
    void download(Engine& engine);

    DownloadTask* active_ = nullptr;
};

}  // namespace velmora
