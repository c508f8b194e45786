// `velmora --trace`: the engine's trace on standard error, one line per executed line
// or event, and the note to plug-ins that their notes are wanted too.
#pragma once

namespace velmora {

class Engine;

enum class TraceMode { Off, StandardError };

void InstallTrace(Engine& engine, TraceMode mode);

}  // namespace velmora
