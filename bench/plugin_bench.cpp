// How long the plug-in host takes for 'dll,call' (with 1 to 256 plug-ins loaded ahead
// of the one called), for a whole 'dll,call' line, and for a load and unload.
#include <benchmark/benchmark.h>

#include "fake_frontend.h"
#include "host/plugin_host.h"

namespace {

using velmora::Engine;
using velmora::PluginHost;

struct Host {
    velmora::test::FakeFrontend fe;
    Engine engine{fe};
    PluginHost host{engine};
    Host() {
        fe.engine = &engine;
        engine.setProgramPath(VELMORA_EXAMPLE_PLUGIN_DIR);
    }
};

// CallPlugin on the last of n names (one library loaded n times): list walk, look-up
// of Call and the call itself.
void BM_CallPlugin(benchmark::State& state) {
    Host h;
    const int n = static_cast<int>(state.range(0));
    for (int i = 0; i < n; ++i) h.host.Load("strings.dll", "p" + std::to_string(i));
    const std::string last = "p" + std::to_string(n - 1);
    h.engine.line.p(4) = "hello";
    h.engine.line.paramCount = 4;
    for (auto _ : state) benchmark::DoNotOptimize(h.host.CallPlugin(last, "upper"));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CallPlugin)->Arg(1)->Arg(16)->Arg(256);

// A parsed 'dll,call,str,upper,hello' line through the command table.
void BM_DllCallLine(benchmark::State& state) {
    Host h;
    h.host.Load("strings.dll", "str");
    velmora::CurrentLine& line = h.engine.line;
    line.command = "dll";
    line.paramCount = 4;
    for (auto _ : state) {
        line.p(1) = "call";
        line.p(2) = "str";
        line.p(3) = "upper";
        line.p(4) = "hello";
        h.engine.executeLine();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DllCallLine);

// 'dll,load' of strings.dll (".dll" first, then ".so") and 'dll,unload' with Remove.
void BM_LoadUnload(benchmark::State& state) {
    Host h;
    for (auto _ : state) {
        h.host.Load("strings.dll", "str");
        h.host.Unload("str");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LoadUnload);

}  // namespace

BENCHMARK_MAIN();
