#include <span>

#include "flash/error_codes.h"
#include "images/block_record.h"
#include "platform/characters.h"
#include "shell/form1.h"

namespace quill {

namespace {
// Shorter lines are skipped; a 10-character S9 end record is read (and ignored by its reader).
constexpr size_t kUserShortLine = 10;
// The buffer is filled while it holds at most one block; a record adds at most 255 entries,
// so the ring never holds more than 383 of its 416.
constexpr int32_t kFillThreshold = 128;
constexpr int32_t kHighestBlockAddress = 0x7F80;
}  // namespace

void Form1::loadUserProgram(const std::string& line) {
    if (characterCount(line) < kUserShortLine) return;
    if (line[0] == ':') {
        readUserHexRecord(line);
    } else if (line[0] == 'S') {
        readUserSRecord(line);
    } else {
        errorCode = kUnknownRecord;
    }
}

int32_t Form1::userBufferCount() const {
    int32_t count = UBwp - UBrp;
    if (count < 0) count = count + kUserBufferRing;
    return count;
}

int32_t Form1::fillUserBuffer() {
    TextFileSlot& file = fileSlot;
    errorCode = 0;
    while (!file.atEnd() && userBufferCount() <= kFillThreshold) {
        recordLine = file.readLine();
        loadUserProgram(recordLine);
        if (errorCode != 0) return 1;
    }
    // Only a file without any data leaves the buffer empty here: every later fill starts
    // with at least one entry left over from the block before. Draining an empty ring would
    // send whatever an earlier write left in it.
    if (userBufferCount() == 0) {
        errorCode = kNoUserData;
        return 1;
    }
    return 0;
}

int32_t Form1::takeBlockAddress() {
    // Only the low 7 bits are cleared: an address that ran past H'FFFF stays above the flash.
    blockAddress = UBaddr[static_cast<size_t>(UBrp)] & ~int32_t{0x7F};
    if (blockAddress > kHighestBlockAddress || blockAddress < 0) {
        errorCode = kBlockAddressTooHigh;
        return 1;
    }
    return 0;
}

bool Form1::fillBlockBuffer() {
    bool ranEmpty = false;
    for (int32_t i = 0; i < kBlockSize; ++i) {
        const auto slot = static_cast<size_t>(UBrp);
        // Only the entry at the head is looked at: data out of address order are not
        // searched for, and start a block of their own later.
        if (!ranEmpty && UBaddr[slot] == blockAddress + i) {
            blockBuffer[static_cast<size_t>(i)] = UBdata[slot];
            UBrp = UBrp + 1;
            if (UBrp > kUserBufferRing - 1) UBrp = 0;
            if (UBrp == UBwp) ranEmpty = true;
        } else {
            blockBuffer[static_cast<size_t>(i)] = 0xFF;
        }
    }
    return ranEmpty;
}

void Form1::buildBlockPacket() {
    blockPacket = blockRecord(blockAddress, std::span(blockBuffer).first<kBlockDataSize>());
}

}  // namespace quill
