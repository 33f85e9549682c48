#include "platform/virtual/cable_faults.h"

namespace quill {

namespace {
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

std::string CableFaults::Strike::words() const {
    return fault.words() + " (" + hex(sent) + ")";
}

CableArrival CableFaults::carry(CableFault::Direction direction, uint8_t byte) {
    const int64_t index = count_[int(direction)]++;
    CableArrival arrival{{byte}};
    for (const CableFault& f : plan_) {
        if (f.direction != direction || f.index != index) continue;
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
        struck_.push_back({f, byte, arrival});
    }
    return arrival;
}

}  // namespace quill
