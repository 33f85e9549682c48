#pragma once

namespace quill::sim::h8 {

// An instruction's time is its fetches plus its data and stack accesses plus its internal
// states. Not sure (inferred from the programming manual's tables as remembered, and from the
// on-chip memory's access time): correct these against a real chip.
inline constexpr int kStatesPerAccess = 2;      // every on-chip memory access (ROM, RAM, I/O)
inline constexpr int kStatesPostIncrement = 2;  // @ERn+ and @-ERn: the register update
inline constexpr int kStatesMulDivByte = 12;    // MULXU/MULXS/DIVXU/DIVXS .B
inline constexpr int kStatesMulDivWord = 20;    // the same, .W
inline constexpr int kStatesReturn = 2;         // RTS, RTE
inline constexpr int kStatesLongBranch = 2;     // Bcc/BSR d:16, JMP/JSR @aa:24, JMP @@aa:8
inline constexpr int kStatesTrap = 4;           // TRAPA and the entry of an interrupt

}  // namespace quill::sim::h8
