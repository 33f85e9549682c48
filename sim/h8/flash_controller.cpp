#include "sim/h8/flash_controller.h"

#include <cmath>
#include <cstdio>

namespace quill::sim::h8 {

namespace {

// A breach repeated in a loop is reported this often, not once per step.
constexpr int kReportsPerRule = 8;

enum Rule {
    kPulseWidth,
    kWithoutSwe,
    kOutsideProgramMode,
    kTwice,
    kFetchWhileSwe,
    kTooManyTries,
    kRegistersLocked,
};

std::string hex4(int address) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "H'%04X", address & 0xFFFF);
    return buf;
}

bool near(double us, double nominal) {
    return std::fabs(us - nominal) <= nominal * FlashController::kPulseTolerance;
}

}  // namespace

FlashController::FlashController(FlashMemory& cells, int64_t clockHz, int minPulses, int maxPulses,
                                 Hooks hooks)
    : cells_(cells),
      clockHz_(clockHz),
      minPulses_(minPulses),
      maxPulses_(maxPulses),
      hooks_(std::move(hooks)) {}

int FlashController::pulsesNeeded(uint16_t address) const {
    // A fixed spread over the cells, so that each run of a write sees the same flash.
    uint32_t x = address * 2654435761u;
    x ^= x >> 15;
    return minPulses_ + int(x % uint32_t(maxPulses_ - minPulses_ + 1));
}

int FlashController::tries(uint16_t address) const {
    return address / 128 == pulsedBlock_ ? tries_ : 0;
}

void FlashController::report(int rule, int address, const std::string& text) {
    if (++reports_[rule] <= kReportsPerRule && hooks_.breach) hooks_.breach(address, text);
}

uint8_t FlashController::read(uint16_t address) {
    if (address == kFenr) return fenr_;
    if (!(fenr_ & kFlshe)) return 0;
    switch (address) {
        case kFlmcr1:
            return flmcr1_;
        case kFlmcr2:
            return 0;  // FLER: no error state is modelled
        case kFlpwcr:
            return flpwcr_;
        default:
            return ebr1_;
    }
}

void FlashController::write(uint16_t address, uint8_t value, uint64_t states) {
    if (address == kFenr) {
        fenr_ = value & kFlshe;
        return;
    }
    if (!(fenr_ & kFlshe)) {
        report(kRegistersLocked, -1,
               "flash register " + hex4(address) + " written while FENR.FLSHE is 0 (ignored)");
        return;
    }
    switch (address) {
        case kFlmcr1:
            setFlmcr1(value, states);
            break;
        case kFlpwcr:
            flpwcr_ = value & 0x80;
            break;
        case kEbr1:
            ebr1_ = value & 0x1F;
            break;
        default:
            break;
    }
}

void FlashController::setFlmcr1(uint8_t value, uint64_t states) {
    const uint8_t old = flmcr1_;
    const uint8_t rising = value & ~old, falling = old & ~value;
    flmcr1_ = value & 0x7F;
    const bool swe = value & kSwe;
    if ((rising & (kPsu | kP)) && !swe)
        report(kWithoutSwe, -1, std::string(rising & kP ? "P" : "PSU") + " set without SWE");
    if ((rising & kP) && !(value & kPsu)) report(kWithoutSwe, -1, "P set without PSU");
    if (rising & kP) pOnAt_ = states;
    if (falling & kP) pulse(double(states - pOnAt_) * 1e6 / double(clockHz_));
    if (rising & kE) eOnAt_ = states;
    if ((falling & kE) && swe && (old & kEsu)) eraseBlocks();
    if ((rising | falling) & kPv) verifyWord_ = -1;
    if (falling & kSwe) {
        latchBlock_ = -1;
        fetchReported_ = false;
    }
    if (hooks_.access && ((rising | falling) & (kSwe | kPv | kEv)))
        hooks_.access(!swe, !(value & (kPv | kEv)));
}

void FlashController::pulse(double us) {
    if (!(flmcr1_ & kSwe) || latchBlock_ < 0) return;
    const int block = latchBlock_;
    if (block != pulsedBlock_) {
        pulsedBlock_ = block;
        tries_ = 0;
    }
    char text[160];
    const int next = tries_ + 1;
    if (near(us, kAdditionalPulseUs) && next <= kShortPulseTries + 1) {
        // additional programming: not a try of its own
    } else if ((near(us, kPulseUs) && next <= kShortPulseTries) ||
               (near(us, kLongPulseUs) && next > kShortPulseTries)) {
        ++tries_;
    } else {
        std::snprintf(text, sizeof text,
                      "a P pulse of %.1f us on try %d at %s (the sequence allows %.0f us%s)", us,
                      next, hex4(block * 128).c_str(),
                      next <= kShortPulseTries ? kPulseUs : kLongPulseUs,
                      next <= kShortPulseTries + 1 ? ", or 10 us for additional programming" : "");
        report(kPulseWidth, block * 128, text);
        ++tries_;
    }
    if (tries_ == kMaxTries + 1)
        report(kTooManyTries, block * 128,
               "more than 1000 programming tries at " + hex4(block * 128));
    programmed_.set(size_t(block));
    const uint16_t base = uint16_t(block * 128);
    bool changed = false;
    for (int k = 0; k < 128; ++k) {
        const uint16_t a = uint16_t(base + k);
        const uint8_t cell = cells_.at(a);
        const uint8_t target = cell & latch_[size_t(k)];
        if (target == cell || cells_.stuck(a)) continue;
        if (pulses_[a] < 255) ++pulses_[a];
        if (pulses_[a] >= pulsesNeeded(a)) {
            const uint8_t one[1] = {latch_[size_t(k)]};
            cells_.program(a, one);
            changed = true;
        }
    }
    if (changed && hooks_.changed) hooks_.changed(base, uint16_t(base + 127));
}

void FlashController::eraseBlocks() {
    for (int b = 0; b < 5; ++b) {
        if (!(ebr1_ & (1 << b))) continue;
        const uint16_t from = kEraseBlockStart[b], to = uint16_t(kEraseBlockStart[b + 1] - 1);
        cells_.eraseRange(from, to);
        for (int a = from; a <= to; ++a) pulses_[size_t(a)] = 0;
        for (int k = from / 128; k <= to / 128; ++k) programmed_.reset(size_t(k));
        if (hooks_.changed) hooks_.changed(from, to);
    }
}

void FlashController::flashWrite(uint16_t address, uint8_t value, uint64_t) {
    const bool swe = flmcr1_ & kSwe;
    if (swe && (flmcr1_ & kPv)) {
        verifyWord_ = address & 0xFFFE;  // the dummy write before a verify read
        return;
    }
    if (!swe || (flmcr1_ & (kPsu | kP | kEsu | kE | kEv))) {
        report(kOutsideProgramMode, address,
               "flash " + hex4(address) + " written outside program mode (ignored)");
        return;
    }
    const int block = address / 128;
    if (block != latchBlock_) {
        latchBlock_ = block;
        latch_.fill(0xFF);
        twiceReported_ = false;
    }
    // Once per block: the first address of it that is programmed again.
    if (value != 0xFF && programmed_[size_t(block)] && block != pulsedBlock_ && !twiceReported_) {
        twiceReported_ = true;
        report(kTwice, address,
               "flash " + hex4(address) + " programmed a second time since the erase");
    }
    latch_[address % 128] = value;
}

uint8_t FlashController::flashRead(uint16_t address) const {
    // In verify mode only the word of the last dummy write reads as its cells.
    if ((flmcr1_ & (kPv | kEv)) && (address & 0xFFFE) != verifyWord_) return 0xFF;
    return cells_.at(address);
}

void FlashController::flashFetch(uint16_t address) {
    if (fetchReported_) return;
    fetchReported_ = true;
    report(kFetchWhileSwe, address,
           "code run from flash at " + hex4(address) + " while SWE is set");
}

}  // namespace quill::sim::h8
