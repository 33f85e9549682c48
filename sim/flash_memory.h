#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <span>

namespace quill::sim {

// The chip's 32 KB flash ROM. Programming can only clear bits; only the erase sets them.
class FlashMemory {
  public:
    static constexpr std::size_t kSize = 0x8000;

    FlashMemory() { bytes_.fill(0xFF); }

    // Every byte back to H'FF, except the cells that are worn and keep some bits cleared.
    void erase();
    // Writes data from address on. Each cell ends as old AND new; false when that is not
    // the new value somewhere, i.e. a bit would have had to go from 0 to 1.
    bool program(uint16_t address, std::span<const uint8_t> data);
    // A worn cell: after each erase it reads `value` instead of H'FF.
    void setStuck(uint16_t address, uint8_t value) { stuck_[address] = value; }
    bool stuck(uint16_t address) const { return stuck_.count(address) != 0; }
    // The cells from..to back to H'FF (the worn ones to their value): a block erase.
    void eraseRange(uint16_t from, uint16_t to);

    const std::array<uint8_t, kSize>& bytes() const { return bytes_; }
    uint8_t at(uint16_t address) const { return bytes_[address]; }
    bool erased() const;

  private:
    std::array<uint8_t, kSize> bytes_;
    std::map<uint16_t, uint8_t> stuck_;
};

}  // namespace quill::sim
