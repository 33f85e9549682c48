#pragma once

// The program on the virtual desk with a scratch folder for program files, and the block
// loop of a user-program transfer without the serial side: fill, block address, block
// contents, block record, until the buffer runs empty or a step fails.

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/program_files.h"
#include "support/virtual_desk.h"

namespace quill::testing {

struct SentBlock {
    int32_t address;
    std::array<uint8_t, 128> data;
    std::array<uint8_t, 137> packet;
};

struct Transfer {
    std::vector<SentBlock> blocks;
    int32_t errorCode = 0;
    int32_t mostEntries = 0;  // the fullest the ring was after a fill
};

class ImageDesk {
  public:
    ImageDesk() = default;
    ImageDesk(const ImageDesk&) = delete;
    ImageDesk& operator=(const ImageDesk&) = delete;

    Form1& form() { return *desk_.form; }
    TextFileSlot& slot() { return desk_.fileSlot; }
    // A path in the scratch folder, and a file written there byte for byte.
    std::string path(const std::string& name) const { return folder_.path(name); }
    std::string file(const std::string& name, const std::string& content) {
        return folder_.write(name, content);
    }

    // What the write sequence does with the boot program file.
    int32_t loadBoot(const std::string& path) {
        form().clearBootImage();
        form().errorCode = 0;
        return form().loadBootProgram(path);
    }

    Transfer transfer(const std::string& path) {
        Transfer t;
        Form1& f = form();
        if (!slot().open(path)) throw std::runtime_error("cannot open " + path);
        f.UBwp = 0;
        f.UBrp = 0;
        for (;;) {
            if (f.fillUserBuffer() != 0) break;
            t.mostEntries = std::max(t.mostEntries, f.userBufferCount());
            if (f.takeBlockAddress() != 0) break;
            const bool ranEmpty = f.fillBlockBuffer();
            f.buildBlockPacket();
            SentBlock block{f.blockAddress, {}, f.blockPacket};
            std::copy_n(f.blockBuffer.begin(), 128, block.data.begin());
            t.blocks.push_back(block);
            if (ranEmpty) break;
        }
        t.errorCode = f.errorCode;
        slot().close();
        return t;
    }

    Transfer transferText(const std::string& content) {
        return transfer(file("user" + std::to_string(files_++) + ".mot", content));
    }

  private:
    VirtualDesk desk_;
    ScratchFolder folder_;
    int files_ = 0;
};

// The 32 KB of flash after the blocks of `t` were written in order to an erased chip.
inline std::vector<uint8_t> flashImage(const Transfer& t) {
    std::vector<uint8_t> flash(0x8000, 0xFF);
    for (const auto& b : t.blocks)
        std::copy(b.data.begin(), b.data.end(), flash.begin() + b.address);
    return flash;
}

}  // namespace quill::testing
