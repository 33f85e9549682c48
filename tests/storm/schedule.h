#pragma once

// One schedule of the fault storm: everything about a write that a seed decides.

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

}  // namespace quill::storm
