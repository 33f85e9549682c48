#pragma once

// One write of a command-line session, timed alone: its start (port open, files read) is left
// out, so that the figures are the write's own.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <cstdint>
#include <optional>
#include <string>

#include "bench/line_bound.h"
#include "cli/cli_session.h"

namespace quill::bench {

struct WriteTimes {
    int64_t writeNs;
    int64_t cpuNs;
};

// Starts the session and times its write as the iteration's time; when either fails the
// benchmark is skipped with the reason and there are no times.
inline std::optional<WriteTimes> timedWrite(benchmark::State& state, cli::CliSession& session) {
    if (session.start() != 0) {
        state.SkipWithError("the session did not start");
        return std::nullopt;
    }
    const int64_t cpu0 = processCpuNs();
    const int64_t wall0 = wallNs();
    const int status = session.write();
    const WriteTimes times{wallNs() - wall0, processCpuNs() - cpu0};
    if (status != 0) {
        state.SkipWithError(("the write failed with code " + std::to_string(status)).c_str());
        return std::nullopt;
    }
    state.SetIterationTime(double(times.writeNs) / kNsPerSecond);
    return times;
}

// The benches' main: a session's timers, scheduler and sockets run on the application's event
// loop, so the benchmarks run inside one.
inline int runBenchmarksOnEventLoop(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace quill::bench
