// Writes across the network: the full 32 KB example through quillmont-board on localhost at
// 19200 bit/s, against the same line-time bound as the in-process write (line_bound.h); then
// four boards at once, four quillmont-board servers each written by its own quillmont-cli,
// against one such write alone.
//
// Also the cost of one confirmed line change on localhost (line_change_us).
//
// Counters: net_ratio = wall time ÷ bound (target at most 1.05); net_cpu_pct = the writer's
// CPU time as a share of the write's wall time (target at most 3); four_ratio = the wall time
// of four parallel writes ÷ that of one (target at most 1.10).

#include <benchmark/benchmark.h>

#include <QProcess>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/line_bound.h"
#include "bench/timed_write.h"
#include "cli/cli_session.h"
#include "cli/user_blocks.h"
#include "platform/qt/rfc2217_port.h"
#include "sim/board_options.h"

namespace {

using namespace quill;
using namespace quill::bench;

const std::string kExamples = std::string(QUILLMONT_SOURCE_DIR) + "/examples/";
const std::string kBoardOptions = "speeds=" + std::to_string(kSpeed);

// A quillmont-board on a free port, killed when it goes.
struct BoardProcess {
    QProcess process;
    std::string address;
    BoardProcess() {
        process.start(QUILLMONT_BOARD, {"--listen", "127.0.0.1:0", "--sim",
                                        QString::fromStdString(kBoardOptions)});
        std::string first;
        while (first.find('\n') == std::string::npos && process.waitForReadyRead(10'000))
            first += process.readAllStandardOutput().toStdString();
        const size_t at = first.find("rfc2217://");
        if (at != std::string::npos) address = first.substr(at, first.find('\n', at) - at);
    }
    ~BoardProcess() {
        process.kill();
        process.waitForFinished(5000);
    }
};

void BM_NetworkWrite19200(benchmark::State& state) {
    cli::CliOptions options;
    options.bootFile = kExamples + "boot.mot";
    options.userFile = kExamples + "full.mot";
    options.quiet = true;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> sink(std::fopen("/dev/null", "w"),
                                                         &std::fclose);
    for (auto _ : state) {
        BoardProcess board;
        if (board.address.empty()) {
            state.SkipWithError("quillmont-board did not start");
            return;
        }
        options.port = board.address;
        cli::CliSession session(options, {sink.get(), sink.get(), false});
        const std::optional<WriteTimes> times = timedWrite(state, session);
        if (!times) return;
        const int64_t writeNs = times->writeNs;
        const int64_t cpuNs = times->cpuNs;
        const int blocks = cli::countUserBlocks(options.userFile).value_or(0);
        const int64_t boundNs = lineBoundNs(sim::parseBoardOptions(kBoardOptions).options,
                                            session.form().bootLength, blocks);
        state.counters["net_ratio"] = double(writeNs) / double(boundNs);
        state.counters["net_cpu_pct"] = 100.0 * double(cpuNs) / double(writeNs);
    }
}
BENCHMARK(BM_NetworkWrite19200)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// One DTR change, confirmed by the server before it counts as done: what each line change of
// a write costs on top of its delay.
void BM_LineChangeOnLocalhost(benchmark::State& state) {
    BoardProcess board;
    if (board.address.empty()) {
        state.SkipWithError("quillmont-board did not start");
        return;
    }
    Rfc2217Port port(board.address);
    if (!port.open()) {
        state.SkipWithError(port.errorString().c_str());
        return;
    }
    bool on = false;
    for (auto _ : state) {
        on = !on;
        port.setDtr(on);
    }
    state.counters["line_change_us"] =
        benchmark::Counter(double(state.iterations()) * 1e-6,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LineChangeOnLocalhost)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Wall time of `count` quillmont-cli writes started together, each to its own board; 0 when
// one failed.
int64_t parallelWritesNs(int count) {
    std::vector<std::unique_ptr<BoardProcess>> boards;
    for (int i = 0; i < count; ++i) {
        boards.push_back(std::make_unique<BoardProcess>());
        if (boards.back()->address.empty()) return 0;
    }
    std::vector<std::unique_ptr<QProcess>> writers;
    const int64_t wall0 = wallNs();
    for (const auto& board : boards) {
        writers.push_back(std::make_unique<QProcess>());
        writers.back()->start(QUILLMONT_CLI,
                              {"--quiet", "--port", QString::fromStdString(board->address),
                               QString::fromStdString(kExamples + "boot.mot"),
                               QString::fromStdString(kExamples + "full.mot")});
    }
    bool ok = true;
    for (const auto& writer : writers)
        ok = writer->waitForFinished(120'000) && writer->exitCode() == 0 && ok;
    return ok ? wallNs() - wall0 : 0;
}

void BM_FourBoardsAtOnce(benchmark::State& state) {
    for (auto _ : state) {
        const int64_t oneNs = parallelWritesNs(1);
        const int64_t fourNs = parallelWritesNs(4);
        if (oneNs == 0 || fourNs == 0) {
            state.SkipWithError("a write failed");
            return;
        }
        state.SetIterationTime(double(fourNs) / kNsPerSecond);
        state.counters["one_s"] = double(oneNs) / kNsPerSecond;
        state.counters["four_ratio"] = double(fourNs) / double(oneNs);
    }
}
BENCHMARK(BM_FourBoardsAtOnce)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) { return quill::bench::runBenchmarksOnEventLoop(argc, argv); }
