#include "cli/user_blocks.h"

#include "platform/virtual/recording_controls.h"
#include "platform/virtual/virtual_scheduler.h"
#include "platform/virtual/virtual_serial_port.h"
#include "shell/form1.h"

namespace quill::cli {

namespace {

// A Form1 that never opens its port or shows anything: only its user buffer and file slot
// are used, so the count comes from the write's own cutting code and cannot drift from it.
class BlockCutter {
  public:
    BlockCutter()
        : form_(Form1Controls{status_, hexFileN_, bootFileN_, cbWrite_,  label_,  label_,
                              label_,  label_,    label_,     label_,    label_,  label_,
                              timer_,  timer_,    timer_,     port_,     dialog_, messageBox_,
                              beeper_, end_,      help_,      fileSlot_, clock_,  clock_},
                "") {}

    std::optional<int> count(const std::string& path) {
        if (!fileSlot_.open(path)) return std::nullopt;
        form_.UBwp = 0;
        form_.UBrp = 0;
        int blocks = 0;
        for (;;) {
            if (form_.fillUserBuffer() != 0) return std::nullopt;
            // The write stops at a block above the flash; the blocks before it are sent.
            if (form_.takeBlockAddress() != 0) return blocks;
            const bool ranEmpty = form_.fillBlockBuffer();
            ++blocks;
            if (ranEmpty) return blocks;
        }
    }

  private:
    VirtualScheduler clock_;
    SchedulerTimer timer_{clock_};
    VirtualSerialPort port_{clock_, "none"};
    RecordingConsole status_;
    RecordingTextField hexFileN_, bootFileN_;
    RecordingButton cbWrite_;
    RecordingLabel label_;
    ScriptedFileDialog dialog_;
    RecordingMessageBox messageBox_;
    CountingBeeper beeper_;
    ProgramEndThrows end_;
    RecordingHelpWindow help_;
    DiskTextFileSlot fileSlot_;
    Form1 form_;
};

}  // namespace

std::optional<int> countUserBlocks(const std::string& path) {
    return BlockCutter().count(path);
}

}  // namespace quill::cli
