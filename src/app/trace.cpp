// The trace sink of both front ends.
#include "app/trace.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "engine/engine.h"

namespace velmora {

namespace {

// One write per line, so lines of the trace and of a plug-in do not interleave.
void WriteTraceLine(const std::string& utf8) {
    const std::string out = utf8 + "\n";
    size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::write(STDERR_FILENO, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

}  // namespace

void InstallTrace(Engine& engine, TraceMode mode) {
    if (mode == TraceMode::Off) return;
    ::setenv(kTraceEnvironment, "1", 1);
    engine.setTraceSink(WriteTraceLine);
}

}  // namespace velmora
