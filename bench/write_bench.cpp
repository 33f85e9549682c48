// A whole write of the full 32 KB example to the virtual board, in real time at 19200 bit/s,
// through the command-line program's session, reported against the line-time bound
// (line_bound.h).
//
// Counters: ratio = wall time ÷ bound (target at most 1.02); cpu = the process's CPU time
// as a share of the wall time of the write, in percent (target at most 3).
//
// The same write is then run through a USB-serial adapter on the virtual cable, at latency
// timers of 1, 4 and 16 ms, with low-latency mode granted and refused. The bound stays the
// line's: the ratio shows what the adapter costs.

#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "bench/line_bound.h"
#include "bench/timed_write.h"
#include "cli/cli_session.h"
#include "platform/line_settings.h"
#include "sim/board.h"

namespace {

using namespace quill;
using namespace quill::bench;

// One whole write per iteration with the board options `simOptions` and the boot program
// `boot` from the examples.
void fullWrite(benchmark::State& state, const std::string& simOptions,
               const std::string& boot = "boot.mot") {
    const std::string examples = std::string(QUILLMONT_SOURCE_DIR) + "/examples/";
    cli::CliOptions options;
    options.port = "sim";
    options.simOptions = simOptions;
    options.bootFile = examples + boot;
    options.userFile = examples + "full.mot";
    options.quiet = true;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> sink(std::fopen("/dev/null", "w"),
                                                         &std::fclose);
    for (auto _ : state) {
        cli::CliSession session(options, {sink.get(), sink.get(), false});
        const std::optional<WriteTimes> times = timedWrite(state, session);
        if (!times) return;
        const int64_t writeNs = times->writeNs;
        const int64_t cpuNs = times->cpuNs;
        const int blocks = session.board()->blocksSeen();
        const int64_t boundNs =
            lineBoundNs(session.board()->options(), session.form().bootLength, blocks);
        state.counters["write_s"] = double(writeNs) / kNsPerSecond;
        state.counters["bound_s"] = double(boundNs) / kNsPerSecond;
        state.counters["ratio"] = double(writeNs) / double(boundNs);
        state.counters["cpu_pct"] = 100.0 * double(cpuNs) / double(writeNs);
        state.counters["blocks"] = blocks;
    }
}

// The stand-in kernel costs next to nothing, so these figures are the write's own cost and the
// adapter's; the emulated chip's cost has a benchmark of its own below.
const std::string kSpeedOption = "speeds=" + std::to_string(kSpeed) + ",kernel=model";

void BM_FullWrite19200(benchmark::State& state) {
    fullWrite(state, kSpeedOption);
}
BENCHMARK(BM_FullWrite19200)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The same with our kernel running on the emulated chip (kernel=run): the CPU share is then
// mostly the emulated CPU's, which runs all the time the write lasts.
void BM_FullWriteKernelRun(benchmark::State& state) {
    fullWrite(state, "speeds=" + std::to_string(kSpeed) + ",kernel=run", "kernel-20mhz.mot");
}
BENCHMARK(BM_FullWriteKernelRun)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The same through a USB-serial adapter whose latency timer holds the board's bytes: with
// low-latency mode granted (the timer drops to 1 ms) and with a driver that has no such mode.
void BM_FullWriteThroughAdapter(benchmark::State& state) {
    const std::string latency = std::to_string(state.range(0));
    fullWrite(state,
              kSpeedOption + ",adapter-latency=" + latency + (state.range(1) != 0 ? "" : ":fixed"));
}
BENCHMARK(BM_FullWriteThroughAdapter)
    ->ArgNames({"latency_ms", "low_latency"})
    ->ArgsProduct({{1, 4, 16}, {1, 0}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) { return quill::bench::runBenchmarksOnEventLoop(argc, argv); }
