#include "sim/block_record.h"

namespace quill::sim {

uint16_t recordAddress(Record record) {
    return uint16_t(record[kRecordAddressOffset] << 8 | record[kRecordAddressOffset + 1]);
}

uint16_t recordSum(Record record) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < kRecordChecksumOffset; ++i) sum += record[i];
    sum += unsigned(record[kRecordChecksumOffset] << 8 | record[kRecordChecksumOffset + 1]);
    return uint16_t(sum);
}

char recordFault(Record record) {
    if (record[0] != kRecordHeader) return kAnswerBadHeader;
    if (record[kRecordSize - 1] != kRecordEnd) return kAnswerBadEnd;
    if (recordSum(record) != 0) return kAnswerBadChecksum;
    const uint16_t address = recordAddress(record);
    if (address % kBlockSize != 0) return kAnswerUnaligned;
    if (address > kLastBlockAddress) return kAnswerOutOfRange;
    return 0;
}

}  // namespace quill::sim
