// The trace sink of both front ends.
#include "app/trace.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "engine/engine.h"
#include "engine/system_helpers.h"

namespace velmora {

namespace {

// One write per line, so lines of the trace and of a plug-in do not interleave.
void WriteTraceLine(const std::string& utf8) {
    WriteAll(STDERR_FILENO, utf8 + "\n");
}

}  // namespace

void InstallTrace(Engine& engine, TraceMode mode) {
    if (mode == TraceMode::Off) return;
    ::setenv(kTraceEnvironment, "1", 1);
    engine.setTraceSink(WriteTraceLine);
}

}  // namespace velmora
