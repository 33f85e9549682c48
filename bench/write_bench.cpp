// A whole write of the full 32 KB example to the virtual board, in real time at 19200 bit/s,
// through the command-line program's session. Reported against the line-time bound, the
// least time the protocol allows:
//
//   the host's own delays: the 300 ms power test, the boot-mode reset (3 + 100 ms) and the
//     300 ms after it, 10 ms before the speed, one 5 ms pause per H'00 try of the bit-rate
//     match (the H'00 bytes and the board's answer travel inside those pauses), 10 ms before
//     the kernel's wake-up CR, and the user-mode reset at the end (3 + 100 ms);
//   the board's delays: the erase time and the programming time of every block;
//   the wire: every other byte of the exchange, each way, at 10 bits a byte (8N1) ÷ 19200:
//     H'55 and H'AA; the length (two bytes out and two echoed back, overlapping by one
//     character, so three character times); each boot program byte and its echo; the start
//     H'AA; the CR, the kernel's banner and prompt; each 137-byte block record and its
//     one-character answer.
//
// Counters: ratio = wall time ÷ bound (target at most 1.02); cpu = the process's CPU time
// as a share of the wall time of the write, in percent (target at most 3).
//
// The same write is then run through a USB-serial adapter on the virtual cable, at latency
// timers of 1, 4 and 16 ms, with low-latency mode granted and refused. The bound stays the
// line's: the ratio shows what the adapter costs.

#include <benchmark/benchmark.h>
#include <time.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/cli_session.h"
#include "platform/line_settings.h"
#include "sim/board.h"

namespace {

using namespace quill;

constexpr int kSpeed = 19200;

int64_t wallNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t processCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return int64_t(ts.tv_sec) * kNsPerSecond + ts.tv_nsec;
}

// The least time the write can take; see the top of this file.
int64_t lineBoundNs(const sim::BoardOptions& board, int bootLength, int blocks) {
    const int64_t charNs = LineSettings{kSpeed, 'N', 8, 1}.charTimeNs();
    const int64_t hostMs = 300 + (3 + 100) + 300 + 10 + 5 * board.matchCount + 10 + (3 + 100);
    const int64_t boardMs = board.eraseTimeMs + int64_t(board.programTimeMs) * blocks;
    const int64_t banner = int64_t(sim::Board::kKernelBanner.size()) + 1;
    const int64_t chars =
        2 + 3 + 2 * int64_t(bootLength) + 1 + (1 + banner) + int64_t(blocks) * (137 + 1);
    return (hostMs + boardMs) * kNsPerMs + chars * charNs;
}

// One whole write per iteration with the board options `simOptions`.
void fullWrite(benchmark::State& state, const std::string& simOptions) {
    const std::string examples = std::string(QUILLMONT_SOURCE_DIR) + "/examples/";
    cli::CliOptions options;
    options.port = "sim";
    options.simOptions = simOptions;
    options.bootFile = examples + "boot.mot";
    options.userFile = examples + "full.mot";
    options.quiet = true;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> sink(std::fopen("/dev/null", "w"),
                                                         &std::fclose);
    for (auto _ : state) {
        cli::CliSession session(options, {sink.get(), sink.get(), false});
        if (session.start() != 0) {
            state.SkipWithError("the session did not start");
            return;
        }
        const int64_t cpu0 = processCpuNs();
        const int64_t wall0 = wallNs();
        const int status = session.write();
        const int64_t writeNs = wallNs() - wall0;
        const int64_t cpuNs = processCpuNs() - cpu0;
        if (status != 0) {
            state.SkipWithError(("the write failed with code " + std::to_string(status)).c_str());
            return;
        }
        const int blocks = session.board()->blocksSeen();
        const int64_t boundNs =
            lineBoundNs(session.board()->options(), session.form().bootLength, blocks);
        state.SetIterationTime(double(writeNs) / kNsPerSecond);
        state.counters["write_s"] = double(writeNs) / kNsPerSecond;
        state.counters["bound_s"] = double(boundNs) / kNsPerSecond;
        state.counters["ratio"] = double(writeNs) / double(boundNs);
        state.counters["cpu_pct"] = 100.0 * double(cpuNs) / double(writeNs);
        state.counters["blocks"] = blocks;
    }
}

const std::string kSpeedOption = "speeds=" + std::to_string(kSpeed);

void BM_FullWrite19200(benchmark::State& state) {
    fullWrite(state, kSpeedOption);
}
BENCHMARK(BM_FullWrite19200)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

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

int main(int argc, char** argv) {
    // The session's timers and scheduler run on this application's event loop.
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
