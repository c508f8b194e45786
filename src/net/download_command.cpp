// The download command row and its results.
#include "net/download_command.h"

#include "engine/frontend.h"
#include "engine/text.h"
#include "net/download_task.h"
#include "net/download_texts.h"

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

}  // namespace velmora
