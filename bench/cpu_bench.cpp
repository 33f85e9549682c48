// The emulated H8/300H's speed: instructions per second on a kernel-like loop (a checksum over
// a 128-byte block with loads, stores to RAM and a look at SCI3's status), and how many times
// faster than the real chip at 20 MHz that is (states run ÷ 20 MHz ÷ the thread's CPU time, so
// that other work on the machine does not count; goal at least 50). Counters: ips = emulated
// instructions per CPU second, x_real = the speed-up.

#include <benchmark/benchmark.h>
#include <time.h>

#include <vector>

#include "sim/flash_memory.h"
#include "sim/h8/chip.h"

namespace {

using namespace quill::sim;

// At H'F780 (hand-encoded so that the bench needs no H8 toolchain):
const std::vector<uint8_t> kLoop = {
    0x79, 0x00, 0x00, 0x00,  // F780 mov.w #0,r0
    0x79, 0x01, 0xF9, 0x00,  // F784 mov.w #0xf900,r1
    0xF2, 0x80,              // F788 mov.b #0x80,r2h
    0x6C, 0x1B,              // F78A mov.b @er1+,r3l
    0x08, 0xB8,              // F78C add.b r3l,r0l
    0x90, 0x00,              // F78E addx #0,r0h
    0x68, 0x9B,              // F790 mov.b r3l,@er1
    0x1A, 0x02,              // F792 dec.b r2h
    0x46, 0xF4,              // F794 bne F78A
    0x7E, 0xAC, 0x73, 0x60,  // F796 btst #6,@0xac:8
    0x40, 0xE4,              // F79A bra F780
};

constexpr int64_t kClockHz = 20'000'000;

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void BM_CpuKernelLoop(benchmark::State& state) {
    FlashMemory flash;
    h8::Chip chip(flash, {kClockHz, 1, 3}, {});
    chip.start(0xF780, kLoop);
    uint64_t instructions = 0, states = 0;
    double seconds = 0;
    for (auto _ : state) {
        const double t0 = threadCpuSeconds();
        const uint64_t i0 = chip.cpu().instructions(), s0 = chip.states();
        chip.runUntil(chip.states() + kClockHz / 10);  // 100 ms of the chip
        instructions += chip.cpu().instructions() - i0;
        states += chip.states() - s0;
        seconds += threadCpuSeconds() - t0;
    }
    state.counters["ips"] = double(instructions) / seconds;
    state.counters["x_real"] = double(states) / double(kClockHz) / seconds;
}
BENCHMARK(BM_CpuKernelLoop)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
