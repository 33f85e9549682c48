// Arbitrary program files through both loaders and the block cutting. Besides crashes and
// sanitizer reports it stops on any broken promise of the loaders: a ring overrun, a block
// outside the flash, a block record whose checksum does not add up, a boot image over its
// limit.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "flash/error_codes.h"
#include "support/virtual_desk.h"

namespace {

using namespace quill;

// The file slot over the fuzzer's bytes; lines end as on disk: CR LF, lone LF or lone CR.
class MemoryTextFileSlot : public TextFileSlot {
  public:
    void load(std::string_view content) {
        content_ = content;
        position_ = 0;
    }
    bool open(const std::string&) override {
        if (open_) return false;
        open_ = true;
        position_ = 0;
        return true;
    }
    bool isOpen() const override { return open_; }
    std::string readLine() override {
        std::string line;
        while (position_ < content_.size()) {
            const char c = content_[position_++];
            if (c == '\n') break;
            if (c == '\r') {
                if (position_ < content_.size() && content_[position_] == '\n') ++position_;
                break;
            }
            line.push_back(c);
        }
        return line;
    }
    bool atEnd() const override { return position_ >= content_.size(); }
    void close() override { open_ = false; }

  private:
    std::string_view content_;
    size_t position_ = 0;
    bool open_ = false;
};

void require(bool promise) {
    if (!promise) std::abort();
}

struct Harness {
    testing::VirtualDesk desk;
    MemoryTextFileSlot slot;
    Form1 form{
        Form1Controls{
            desk.status,     desk.hexFileN,  desk.bootFileN,   desk.cbWrite,   desk.h8stat,
            desk.lbComSpeed, desk.lbComData, desk.lbComParity, desk.lbComStop, desk.lbComRTS,
            desk.lbComDTR,   desk.lbComCTS,  desk.timer1,      desk.timer3,    desk.timer4,
            desk.port,       desk.dialog,    desk.messageBox,  desk.beeper,    desk.programEnd,
            desk.help,       slot,           desk.clock,       desk.clock},
        ""};
};

bool isFileCode(int32_t code) {
    return code == kUnknownRecord || code == kNotHexCharacter || code == kChecksumError;
}

void loadBoot(Form1& f) {
    f.clearBootImage();
    f.errorCode = 0;
    if (f.loadBootProgram("boot") == 0) {
        require(f.errorCode == 0 && f.bootStartAddress == 0xF780);
        require(f.bootLength >= 1 && f.bootLength <= Form1State::kBootImageLimit);
    } else {
        require(isFileCode(f.errorCode) || f.errorCode == kWrongStartAddress ||
                f.errorCode == kBootProgramTooLong);
    }
}

void transferUser(Form1& f, TextFileSlot& slot) {
    require(slot.open("user"));
    f.UBwp = 0;
    f.UBrp = 0;
    for (;;) {
        if (f.fillUserBuffer() != 0) {
            require(isFileCode(f.errorCode) || f.errorCode == kNoUserData);
            break;
        }
        require(f.userBufferCount() >= 1 && f.userBufferCount() <= 383);
        if (f.takeBlockAddress() != 0) {
            require(f.errorCode == kBlockAddressTooHigh);
            break;
        }
        require(f.blockAddress >= 0 && f.blockAddress <= 0x7F80 && f.blockAddress % 0x80 == 0);
        const int32_t before = f.userBufferCount();
        const bool ranEmpty = f.fillBlockBuffer();
        require(f.userBufferCount() < before);  // every block takes at least its head entry
        f.buildBlockPacket();
        uint32_t sum = 0;
        for (size_t i = 0; i < 134; ++i) sum += f.blockPacket[i];
        sum += (uint32_t{f.blockPacket[134]} << 8) | f.blockPacket[135];
        require((sum & 0xFFFF) == 0 && f.blockPacket[136] == 0x0D);
        if (ranEmpty) break;
    }
    slot.close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness* harness = new Harness;
    Form1& f = harness->form;
    static_cast<Form1State&>(f) = Form1State{};
    harness->slot.load(std::string_view(reinterpret_cast<const char*>(data), size));
    loadBoot(f);
    transferUser(f, harness->slot);
    return 0;
}
