// The download command: 'download,<url>,<file>' fetches the URL over HTTP/1.0 (directly
// or through the proxy of the proxy and proxyport variables) into the file, showing the
// front end's modal progress display meanwhile. var1 becomes "OK" or "NG", var2 the reason.
#pragma once

#include "engine/engine.h"

namespace velmora {

class DownloadTask;

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
