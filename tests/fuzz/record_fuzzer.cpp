// Arbitrary program files through both loaders and the block cutting. Besides crashes and
// sanitizer reports it stops on any broken promise of the loaders: a ring overrun, a block
// outside the flash, a block record whose checksum does not add up, a boot image over its
// limit.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "flash/error_codes.h"
#include "support/virtual_desk.h"

namespace {

using namespace quill;

void require(bool promise) {
    if (!promise) std::abort();
}

// The fuzzer's bytes as a file in memory, read through the program's own file slot.
struct Harness {
    testing::VirtualDesk desk;
    const int fd = ::memfd_create("program-file", 0);
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    void load(const uint8_t* data, size_t size) {
        require(::ftruncate(fd, 0) == 0 && ::pwrite(fd, data, size, 0) == ssize_t(size));
    }
};

bool isFileCode(int32_t code) {
    return code == kUnknownRecord || code == kNotHexCharacter || code == kChecksumError;
}

void loadBoot(Form1& f, const std::string& path) {
    f.clearBootImage();
    f.errorCode = 0;
    if (f.loadBootProgram(path) == 0) {
        require(f.errorCode == 0 && f.bootStartAddress == 0xF780);
        require(f.bootLength >= 1 && f.bootLength <= Form1State::kBootImageLimit);
    } else {
        require(isFileCode(f.errorCode) || f.errorCode == kWrongStartAddress ||
                f.errorCode == kBootProgramTooLong);
    }
}

void transferUser(Form1& f, TextFileSlot& slot, const std::string& path) {
    require(slot.open(path));
    f.UBwp = f.UBrp = 0;
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
    Form1& f = *harness->desk.form;
    static_cast<Form1State&>(f) = Form1State{};
    harness->load(data, size);
    loadBoot(f, harness->path);
    transferUser(f, harness->desk.fileSlot, harness->path);
    return 0;
}
