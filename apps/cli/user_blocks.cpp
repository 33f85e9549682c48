#include "cli/user_blocks.h"

#include <cstdint>

#include "images/block_record.h"
#include "images/hex_record.h"
#include "platform/text_file.h"

namespace quill::cli {

namespace {

// Lines shorter than this are skipped by the user loader (an S9 end record is just as long).
constexpr size_t kShortLine = 10;

// Follows the block cutting of the write without its ring: the byte at the head continues
// the open block when its address is the block's next one; otherwise the block's remaining
// places are filled with H'FF and the byte opens a block of its own.
class BlockCounter : public RecordSink {
  public:
    void dataByte(int32_t, int32_t address, uint8_t) override {
        if (open_ && address >= nextAddress_ && address < blockEnd_) {
            // A skipped address inside the block is an H'FF place; the byte then lands
            // further on, where the block's walk meets it.
            nextAddress_ = address + 1;
            return;
        }
        ++blocks_;
        open_ = true;
        const int32_t start = address & ~int32_t(kBlockDataSize - 1);
        blockEnd_ = start + int32_t(kBlockDataSize);
        nextAddress_ = address + 1;
    }
    int blocks() const { return blocks_; }

  private:
    bool open_ = false;
    int32_t nextAddress_ = 0;
    int32_t blockEnd_ = 0;
    int blocks_ = 0;
};

}  // namespace

std::optional<int> countUserBlocks(const std::string& path) {
    DiskTextFileSlot file;
    if (!file.open(path)) return std::nullopt;
    BlockCounter counter;
    int32_t errorCode = 0;
    while (!file.atEnd()) {
        const std::string line = file.readLine();
        if (line.size() < kShortLine) continue;
        if (line[0] == ':') {
            readIntelHexLine(line, counter, errorCode);
        } else if (line[0] == 'S') {
            readSRecordLine(line, counter, errorCode);
        } else {
            return std::nullopt;
        }
        if (errorCode != 0) return std::nullopt;
    }
    return counter.blocks();
}

}  // namespace quill::cli
