#include "platform/virtual/wire.h"

namespace quill::wire {

namespace {

bool parityBit(unsigned value, int bits, char parity) {
    int ones = 0;
    for (int i = 0; i < bits; ++i) ones += (value >> i) & 1;
    switch (parity) {
        case 'E':
            return ones % 2 != 0;
        case 'O':
            return ones % 2 == 0;
        case 'M':
            return true;
        default:
            return false;  // 'S'
    }
}

// The level of the sender's line at time t (in units of 1 / (sender speed * receiver speed)
// seconds, so that both bit lengths are whole numbers): low for a 0, high for a 1 and idle.
class Waveform {
  public:
    Waveform(uint8_t byte, const LineSettings& s, long long bitLength)
        : bitLength_(bitLength), bits_(s.bitsPerChar()) {
        levels_.push_back(false);  // start bit
        unsigned value = byte & ((1u << s.dataBits) - 1);
        for (int i = 0; i < s.dataBits; ++i) levels_.push_back((value >> i) & 1);
        if (s.parity != 'N') levels_.push_back(parityBit(value, s.dataBits, s.parity));
        for (int i = 0; i < s.stopBits; ++i) levels_.push_back(true);
    }
    bool at(long long t) const {
        long long bit = t / bitLength_;
        return bit >= bits_ ? true : levels_[size_t(bit)];
    }
    long long end() const { return bits_ * bitLength_; }
    // The start of the first sender bit at or after t that is low after a high bit.
    long long nextFallingEdge(long long t) const {
        for (long long bit = (t + bitLength_ - 1) / bitLength_; bit < bits_; ++bit)
            if (!levels_[size_t(bit)] && (bit == 0 || levels_[size_t(bit - 1)]))
                return bit * bitLength_;
        return -1;
    }

  private:
    long long bitLength_;
    int bits_;
    std::vector<bool> levels_;
};

}  // namespace

std::vector<Received> receiveChar(uint8_t byte, const LineSettings& sent,
                                  const LineSettings& receiver) {
    if (sent == receiver) return {{Received::Kind::Byte, byte}};
    // Bit lengths in a common unit: sender bits last receiver.speed units, receiver bits
    // sent.speed units.
    const long long senderBit = receiver.speed;
    const long long receiverBit = sent.speed;
    Waveform line(byte, sent, senderBit);
    std::vector<Received> out;
    long long start = 0;
    while (start >= 0 && start < line.end()) {
        auto sample = [&](double bitsIn) {
            return line.at(start + (long long)(bitsIn * receiverBit));
        };
        if (sample(0.5)) {  // a glitch, not a start bit
            start = line.nextFallingEdge(start + receiverBit / 2 + 1);
            continue;
        }
        unsigned value = 0;
        for (int i = 0; i < receiver.dataBits; ++i)
            if (sample(1.5 + i)) value |= 1u << i;
        double at = 1.5 + receiver.dataBits;
        Received r{Received::Kind::Byte, uint8_t(value)};
        if (receiver.parity != 'N') {
            if (sample(at) != parityBit(value, receiver.dataBits, receiver.parity))
                r.kind = Received::Kind::ParityError;
            at += 1;
        }
        if (!sample(at)) r.kind = Received::Kind::FramingError;
        out.push_back(r);
        start = line.nextFallingEdge(start + (long long)(at * receiverBit) + 1);
    }
    return out;
}

}  // namespace quill::wire
