#pragma once

// The record in which one 128-byte block of the user program goes to the flash-writing
// kernel: "A", three H'00, the block address, the data, a 16-bit checksum, CR.

#include <array>
#include <cstdint>
#include <span>

namespace quill {

constexpr size_t kBlockDataSize = 128;
constexpr size_t kBlockRecordSize = 137;

// The 16-bit two's complement of the sum of `bytes`, so that the bytes and the checksum
// together add up to 0 modulo H'10000.
uint16_t blockChecksum(std::span<const uint8_t> bytes);

std::array<uint8_t, kBlockRecordSize> blockRecord(int32_t blockAddress,
                                                  std::span<const uint8_t, kBlockDataSize> data);

}  // namespace quill
