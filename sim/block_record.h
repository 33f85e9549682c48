#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quill::sim {

// The kernel's block record: "A", three bytes the kernel ignores, the address high and low,
// 128 data bytes, a 16-bit checksum (high byte first) and CR.
inline constexpr std::size_t kRecordSize = 137;
inline constexpr std::size_t kBlockSize = 128;
inline constexpr std::size_t kRecordAddressOffset = 4;
inline constexpr std::size_t kRecordDataOffset = 6;
inline constexpr std::size_t kRecordChecksumOffset = 134;
inline constexpr uint8_t kRecordHeader = 'A';
inline constexpr uint8_t kRecordEnd = 0x0D;
inline constexpr uint16_t kLastBlockAddress = 0x7F80;

// The kernel's one-character answers.
inline constexpr char kAnswerAccepted = '>';
inline constexpr char kAnswerBadHeader = ':';
inline constexpr char kAnswerBadEnd = 'L';
inline constexpr char kAnswerBadChecksum = 'S';
inline constexpr char kAnswerUnaligned = 'A';
inline constexpr char kAnswerOutOfRange = 'W';
inline constexpr char kAnswerWrittenTwice = 'D';
inline constexpr char kAnswerTimeOut = 'T';
inline constexpr char kAnswerProgramFailed = 'Z';

using Record = std::span<const uint8_t, kRecordSize>;

uint16_t recordAddress(Record record);
// The 16-bit sum of bytes 0..133 and of the checksum word: 0 for a sound record.
uint16_t recordSum(Record record);
// The answer to a record whose form is wrong, in the order the kernel checks: header, end
// byte, checksum, alignment, range. 0 when the record may be programmed.
char recordFault(Record record);

}  // namespace quill::sim
