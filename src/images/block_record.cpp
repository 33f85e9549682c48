#include "images/block_record.h"

#include <algorithm>

namespace quill {

uint16_t blockChecksum(std::span<const uint8_t> bytes) {
    uint32_t sum = 0;
    for (uint8_t b : bytes) sum += b;
    return static_cast<uint16_t>(0x10000 - (sum & 0xFFFF));
}

std::array<uint8_t, kBlockRecordSize> blockRecord(int32_t blockAddress,
                                                  std::span<const uint8_t, kBlockDataSize> data) {
    std::array<uint8_t, kBlockRecordSize> record{};
    record[0] = 'A';
    // Bytes 1 to 3 stay H'00: the kernel expects them, and they add nothing to the sum.
    record[4] = static_cast<uint8_t>((blockAddress >> 8) & 0xFF);
    record[5] = static_cast<uint8_t>(blockAddress & 0xFF);
    std::copy(data.begin(), data.end(), record.begin() + 6);
    const uint16_t checksum = blockChecksum(std::span(record).first(6 + kBlockDataSize));
    record[134] = static_cast<uint8_t>(checksum >> 8);
    record[135] = static_cast<uint8_t>(checksum & 0xFF);
    record[136] = '\r';
    return record;
}

}  // namespace quill
