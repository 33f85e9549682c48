#pragma once

// The fault storm: a schedule, everything about a write that a seed decides, and its run.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/virtual/cable_faults.h"
#include "support/program_files.h"

namespace quill::storm {

using testing::Segment;

// Something that happens at a moment of the write and is undone after a while.
struct Outage {
    bool happens = false;
    int64_t atNs = 0;  // from the click on Write
    int64_t lastsNs = 0;
};

struct Schedule {
    uint64_t seed = 0;
    std::vector<uint8_t> boot;  // the boot program, 1 to 1904 bytes from H'F780
    bool bootIntelHex = false;
    size_t bootRecordLength = 16;
    std::vector<Segment> user;  // ascending, apart
    bool userIntelHex = false;
    size_t userRecordLength = 16;
    std::string boardOptions;  // as QUILLMONT_SIM takes them
    std::vector<CableFault> cable;
    Outage power;     // the board's power off, then on again
    Outage portLoss;  // the adapter gone, then back
    bool stopKey = false;
    int64_t stopKeyAtNs = 0;  // Esc at the first response wait from then on

    // The 128-byte blocks the user program touches, by number.
    std::vector<int> blocks() const;
    // The flash as the user program asks it to be: its bytes, H'FF elsewhere.
    std::vector<uint8_t> image() const;
    std::string words() const;
};

Schedule drawSchedule(uint64_t seed);

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
