#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "storm/schedule.h"

namespace quill::storm {

// A write may take this long in virtual time before it counts as hung. The longest sound write
// that a schedule can draw takes about 280 s: a 35 s erase, 1904 boot bytes echoed at 2400
// bit/s (16 s), and 256 block records of 571 ms on the line, each with 300 ms to answer.
inline constexpr int64_t kWriteBoundNs = 400 * 1'000'000'000LL;

struct Verdict {
    std::vector<std::string> violations;  // each invariant broken, in words
    bool success = false;                 // the faulty write said "(Success)"
    int code = 0;                         // its failure code
    // A false success whose acceptance the cable forged: a prompt character that the board
    // never sent reached the host. The one-character answer cannot show that.
    bool forgedSuccess = false;
    int64_t writeNs = 0;  // virtual time of the faulty write
    std::string console;  // its console, and the second write's after a failure
    std::vector<std::string> struck;  // the cable faults that struck
};

// The strike put an acceptance (">") before the host that the board never sent: a flipped bit
// or noise made it. A doubled prompt is a copy of a real one.
bool forgesAcceptance(const CableFaults::Strike& strike);

// Runs the write of the schedule on a fresh virtual board, checks every invariant, and after
// a failure writes again with the faults removed, in the same program.
Verdict runSchedule(const Schedule& schedule);

// A broken schedule: its seed and words, what broke, what struck, and how to replay it.
std::string violationReport(const Schedule& s, const Verdict& v);

}  // namespace quill::storm
