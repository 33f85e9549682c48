#pragma once

// The least time a whole write can take at 19200 bit/s: the line-time bound every write
// benchmark is reported against.
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

#include <time.h>

#include <chrono>
#include <cstdint>

#include "platform/line_settings.h"
#include "platform/scheduler.h"
#include "sim/board.h"

namespace quill::bench {

constexpr int kSpeed = 19200;

inline int64_t wallNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline int64_t processCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return int64_t(ts.tv_sec) * kNsPerSecond + ts.tv_nsec;
}

// The least time the write can take; see the top of this file.
inline int64_t lineBoundNs(const sim::BoardOptions& board, int bootLength, int blocks) {
    const int64_t charNs = LineSettings{kSpeed, 'N', 8, 1}.charTimeNs();
    const int64_t hostMs = 300 + (3 + 100) + 300 + 10 + 5 * board.matchCount + 10 + (3 + 100);
    const int64_t boardMs = board.eraseTimeMs + int64_t(board.programTimeMs) * blocks;
    const int64_t banner = int64_t(sim::Board::kKernelBanner.size()) + 1;
    const int64_t chars =
        2 + 3 + 2 * int64_t(bootLength) + 1 + (1 + banner) + int64_t(blocks) * (137 + 1);
    return (hostMs + boardMs) * kNsPerMs + chars * charNs;
}

}  // namespace quill::bench
