#include "sim/flash_memory.h"

#include <algorithm>

namespace quill::sim {

void FlashMemory::erase() {
    bytes_.fill(0xFF);
    for (auto [address, value] : stuck_) bytes_[address] = value;
}

void FlashMemory::eraseRange(uint16_t from, uint16_t to) {
    for (std::size_t a = from; a <= to && a < kSize; ++a) {
        auto worn = stuck_.find(uint16_t(a));
        bytes_[a] = worn == stuck_.end() ? 0xFF : worn->second;
    }
}

bool FlashMemory::program(uint16_t address, std::span<const uint8_t> data) {
    bool ok = true;
    for (std::size_t i = 0; i < data.size() && address + i < kSize; ++i) {
        uint8_t& cell = bytes_[address + i];
        cell &= data[i];
        if (cell != data[i]) ok = false;
    }
    return ok;
}

bool FlashMemory::erased() const {
    return std::all_of(bytes_.begin(), bytes_.end(), [](uint8_t b) { return b == 0xFF; });
}

}  // namespace quill::sim
