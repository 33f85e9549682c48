#include "sim/h8/sci3.h"

#include <algorithm>
#include <cmath>

namespace quill::sim::h8 {

namespace {

constexpr uint8_t kSmrChr = 0x40, kSmrPe = 0x20, kSmrPm = 0x10, kSmrStop = 0x08;
constexpr uint8_t kClearableFlags =
    Sci3::kTdre | Sci3::kRdrf | Sci3::kOer | Sci3::kFer | Sci3::kPer;

}  // namespace

// One bit lasts 64 * 2^(2n-1) * (N+1) = 32 * 4^n * (N+1) states, n = CKS1:CKS0, N = BRR.
uint64_t Sci3::charStates() const {
    const uint64_t bit = uint64_t(32) << (2 * (smr_ & 3));
    return uint64_t(lineSettings().bitsPerChar()) * (bit * (brr_ + 1u));
}

LineSettings Sci3::lineSettings() const {
    const double bitStates = double(32u << (2 * (smr_ & 3))) * (brr_ + 1);
    LineSettings s;
    s.speed = int(std::lround(double(clockHz_) / bitStates));
    s.dataBits = smr_ & kSmrChr ? 7 : 8;
    s.parity = smr_ & kSmrPe ? (smr_ & kSmrPm ? 'O' : 'E') : 'N';
    s.stopBits = smr_ & kSmrStop ? 2 : 1;
    return s;
}

void Sci3::presetFor(int bitRate) {
    // The smallest clock divisor n whose BRR fits in a byte, BRR rounded to the nearest.
    for (int n = 0; n < 4; ++n) {
        const double divisor = double(32u << (2 * n)) * bitRate;
        const long value = std::lround(double(clockHz_) / divisor) - 1;
        if (value <= 255 || n == 3) {
            smr_ = uint8_t(n);
            brr_ = uint8_t(std::clamp(value, 0L, 255L));
            break;
        }
    }
    scr3_ = kTe | kRe;
    ssr_ = kTdre | kTend;
    pmr1_ |= kPmr1Txd;
}

void Sci3::sync(uint64_t states) {
    if ((ssr_ & kTdre) || !tdrLoaded_ || !(scr3_ & kTe)) return;
    const uint64_t start = std::max(shiftFreeAt_, tdrAt_);
    if (start > states) return;
    tdrLoaded_ = false;
    ssr_ |= kTdre;
    shiftFreeAt_ = start + charStates();
    if (pmr1_ & kPmr1Txd) send_(tdr_, lineSettings(), start);
}

uint64_t Sci3::nextChange(uint64_t states) const {
    if (!(ssr_ & kTdre)) {
        if (tdrLoaded_ && (scr3_ & kTe)) return std::max(shiftFreeAt_, tdrAt_);
        return UINT64_MAX;
    }
    return states < shiftFreeAt_ ? shiftFreeAt_ : UINT64_MAX;
}

uint8_t Sci3::read(uint16_t address, uint64_t states) {
    sync(states);
    switch (address) {
        case kSmr:
            return smr_;
        case kBrr:
            return brr_;
        case kScr3:
            return scr3_;
        case kTdr:
            return tdr_;
        case kSsr: {
            uint8_t v = ssr_ & uint8_t(~kTend);
            if ((ssr_ & kTdre) && states >= shiftFreeAt_) v |= kTend;
            return v;
        }
        case kRdr:
            if (kReadingRdrClearsRdrf) ssr_ &= uint8_t(~kRdrf);
            return rdr_;
        default:  // PMR1
            return pmr1_;
    }
}

void Sci3::write(uint16_t address, uint8_t value, uint64_t states) {
    sync(states);
    switch (address) {
        case kSmr:
            smr_ = value;
            break;
        case kBrr:
            brr_ = value;
            break;
        case kScr3:
            scr3_ = value;
            if (!(value & kTe)) ssr_ |= kTdre, tdrLoaded_ = false;
            break;
        case kTdr:
            tdr_ = value;
            tdrLoaded_ = true;
            if (kWritingTdrClearsTdre && (ssr_ & kTdre)) ssr_ &= uint8_t(~kTdre), tdrAt_ = states;
            break;
        case kSsr: {
            // The flags only go to 0 by a write; MPBT is written as given.
            const uint8_t cleared = ssr_ & kClearableFlags & ~value;
            if ((cleared & kTdre)) tdrAt_ = states;
            ssr_ = uint8_t((ssr_ & ~cleared & ~kMpbt) | (value & kMpbt));
            break;
        }
        case kRdr:
            break;
        default:
            pmr1_ = value;
            break;
    }
    sync(states);
}

void Sci3::receive(uint8_t byte, Received kind, uint64_t states) {
    sync(states);
    if (!(scr3_ & kRe)) return;
    // While an error flag stands the receiver takes nothing more.
    if (ssr_ & (kOer | kFer | kPer)) return;
    if (ssr_ & kRdrf) {
        ssr_ |= kOer;
        return;
    }
    rdr_ = byte;
    ssr_ |= kRdrf;
    if (kind == Received::FramingError) ssr_ |= kFer;
    if (kind == Received::ParityError) ssr_ |= kPer;
}

}  // namespace quill::sim::h8
