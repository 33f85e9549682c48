#include "platform/virtual/cable_faults.h"

#include <algorithm>

namespace quill {

namespace {
constexpr uint8_t kPrompt = '>';

std::string hex(uint8_t b) {
    static const char d[] = "0123456789ABCDEF";
    return {'H', '\'', d[b >> 4], d[b & 0xF]};
}
}  // namespace

std::string CableFault::words() const {
    std::string what;
    switch (kind) {
        case Kind::FlipBit:
            what = "bit " + std::to_string(bit) + " flipped";
            break;
        case Kind::Drop:
            what = "dropped";
            break;
        case Kind::Double:
            what = "doubled";
            break;
        case Kind::Noise: {
            what = "followed by noise";
            for (uint8_t b : noise) what += " " + hex(b);
            break;
        }
        case Kind::LineError:
            what = std::string("replaced by a ") + commEventName(error);
            break;
    }
    return "character " + std::to_string(index) +
           (direction == Direction::ToBoard ? " to the board " : " to the host ") + what;
}

CableArrival CableFaults::carry(CableFault::Direction direction, uint8_t byte) {
    const int64_t index = count_[int(direction)]++;
    CableArrival arrival{{byte}};
    for (const CableFault& f : plan_) {
        if (f.direction != direction || f.index != index) continue;
        struck_.push_back(f.words() + " (" + hex(byte) + ")");
        switch (f.kind) {
            case CableFault::Kind::FlipBit:
                arrival.bytes = {uint8_t(byte ^ (1u << f.bit))};
                break;
            case CableFault::Kind::Drop:
                arrival.bytes.clear();
                break;
            case CableFault::Kind::Double:
                arrival.bytes = {byte, byte};
                break;
            case CableFault::Kind::Noise:
                arrival.bytes = {byte};
                arrival.bytes.insert(arrival.bytes.end(), f.noise.begin(), f.noise.end());
                break;
            case CableFault::Kind::LineError:
                arrival.bytes.clear();
                arrival.lineError = true;
                arrival.error = f.error;
                break;
        }
        // A doubled prompt is a copy of one the board sent; any other new prompt is forged.
        const auto real = byte != kPrompt ? 0 : f.kind == CableFault::Kind::Double ? 2 : 1;
        if (direction == CableFault::Direction::ToHost &&
            std::count(arrival.bytes.begin(), arrival.bytes.end(), kPrompt) > real)
            forgedPrompt_ = true;
    }
    return arrival;
}

}  // namespace quill
