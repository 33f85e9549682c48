#pragma once

#include <bitset>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/line_settings.h"
#include "platform/scheduler.h"
#include "platform/virtual/virtual_serial_port.h"
#include "sim/block_record.h"
#include "sim/board_options.h"
#include "sim/flash_memory.h"
#include "sim/h8/chip.h"

namespace quill::sim {

// What the board did, with its time, for tests and for a look at a run.
struct BoardEvent {
    enum class Kind {
        PowerOn,
        PowerOff,
        Reset,     // DTR went off: the chip is held in reset
        BootMode,  // released with RTS off
        UserMode,  // released with RTS on
        Nmi,       // RTS went off while the chip ran
        BreakOn,
        BreakOff,
        UartError,  // a host character the board's UART could not read (value: the settings' speed)
        Matched,    // the boot ROM took a bit rate (value: bit/s)
        EraseStart,
        EraseEnd,
        Length,       // value: the boot program length the boot ROM took
        KernelStart,  // the boot ROM branched to H'F780
        KernelWake,   // the kernel's CR
        Block,        // value: the record's address (-1 after a time-out); answer: 0 if none
        // kernel=run: the received program broke a rule of the flash (value: the flash
        // address or -1), or ran away and stopped (value: where); text: what happened.
        FlashRule,
        ProgramStopped,
    };
    int64_t timeNs;
    Kind kind;
    int value = 0;
    char answer = 0;
    std::string text = {};
};

const char* boardEventName(BoardEvent::Kind kind);

// An H8/3694 board on a serial cable: DTR drives its reset, RTS its NMI and boot-mode pin,
// CTS shows its power. In boot mode the chip's boot ROM matches the bit rate, erases the
// flash and loads a program to H'F780, which it then starts: with kernel=run the emulated
// H8/300H runs it (with SCI3 on the cable and the flash controller on the flash); with
// kernel=model a stand-in answers 137-byte block records as a flash-writing kernel would,
// without running anything. Reset into user mode, it runs a small echo program.
class Board : public SerialFarEnd {
  public:
    enum class State {
        Off,    // no power
        Reset,  // held in reset
        Matching,
        AwaitErase,  // matched; waits for H'55
        Erasing,
        LengthHigh,
        LengthLow,
        Image,
        Halted,        // the boot ROM gave up (a length it cannot take); only a reset helps
        KernelAsleep,  // waits for the wake-up CR
        Kernel,        // takes block records
        Running,       // kernel=run: the emulated CPU runs the received program
        User,
    };

    static constexpr uint16_t kRamLoadAddress = 0xF780;
    static constexpr int kMaxBootLength = 1904;
    static constexpr int kRecordTimeOutMs = 5000;
    // The kernel's banner and prompt fit within 100 ms of its wake-up CR even at 2400 bit/s.
    static constexpr std::string_view kKernelBanner = "Quill kernel\r\n";
    static constexpr std::string_view kUserGreeting = "Quill board: user program\r\n";
    static constexpr std::string_view kNmiNotice = "NMI\r\n";
    static constexpr int kLatePromptMs = 150;
    // With the chatter fault the first answer is this long, prompt included.
    static constexpr int kChatterLength = 300;
    static constexpr LineSettings kUnmatchedUserLine{38400, 'N', 8, 1};

    // Attaches itself to the far end of `port`; the board is powered unless the options say
    // otherwise, and starts at once if the port's DTR is already on.
    Board(Scheduler& scheduler, VirtualSerialPort& port, BoardOptions options = {});
    ~Board() override;
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    // SerialFarEnd
    void hostChar(uint8_t byte, const LineSettings& hostSettings) override;
    void hostBreak(bool on) override;
    void hostLines(bool dtr, bool rts) override;
    bool takesCharsAhead() const override { return state_ == State::Running; }
    void hostCharAhead(uint8_t byte, const LineSettings& hostSettings, int64_t arrivalNs) override;

    // The board's power switch.
    void setPower(bool on);
    bool powered() const { return state_ != State::Off; }

    State state() const { return state_; }
    const LineSettings& uart() const { return uart_; }
    const BoardOptions& options() const { return options_; }
    FlashMemory& flash() { return flash_; }
    const FlashMemory& flash() const { return flash_; }
    // The boot program as received into RAM from H'F780.
    const std::vector<uint8_t>& bootImage() const { return ram_; }
    int bootLength() const { return bootLength_; }
    const std::vector<BoardEvent>& events() const { return events_; }
    // Called with each event as it happens.
    void setEventListener(std::function<void(const BoardEvent&)> listener) {
        listener_ = std::move(listener);
    }
    // A board that serves for days keeps no list of every event (the listener still hears
    // them).
    void keepEvents(bool keep) { keepEvents_ = keep; }
    // The records the kernel has answered (or swallowed) since it started. A program on the
    // emulated chip is taken to answer each with one character after its first prompt '>'.
    int blocksSeen() const { return blockIndex_ + chipAnswers_; }
    // kernel=run: the chip that runs the received program, while it runs; else null.
    h8::Chip* chip() { return chip_.get(); }
    // The flash rules the received program broke and how it stopped, if it did.
    const std::vector<BoardEvent>& breaches() const { return breaches_; }
    // How far the emulated chip may run past the last moment up to which it knows all that
    // the host sends; it stops sooner where it waits on the line.
    static constexpr int64_t kLeadNs = 50'000'000;

  private:
    void log(BoardEvent::Kind kind, int value = 0, char answer = 0, std::string text = {});
    void logAt(int64_t timeNs, BoardEvent::Kind kind, int value = 0, char answer = 0,
               std::string text = {});
    // Runs fn after delayNs unless a reset or power loss comes first.
    Scheduler::Handle after(int64_t delayNs, std::function<void()> fn);
    void cancel(Scheduler::Handle& handle);
    void stopEverything();
    // The port-lost option, if it is for this moment.
    void losePortAt(BoardOptions::PortLoss::When when, int block = -1);
    void release();  // DTR on: sample RTS
    void send(uint8_t byte);
    void send(std::string_view text);

    void bootByte(uint8_t byte);
    void matchByte(uint8_t byte, const LineSettings& hostSettings);
    void startErase();
    void lengthByte(uint8_t byte);
    void imageByte(uint8_t byte);
    void startKernel();
    void kernelByte(uint8_t byte);
    void wake();
    void takeRecord();
    void answer(int block, int address, char answer);
    void userByte(uint8_t byte);
    void startChip();
    struct HostChar {
        uint64_t at;  // the chip's state count when it takes the character
        int64_t arrivalNs;
        uint8_t byte;
        LineSettings settings;
    };
    uint64_t chipStates(int64_t ns) const;
    int64_t chipNs(uint64_t states) const;
    void queueHostChar(uint8_t byte, const LineSettings& hostSettings, int64_t arrivalNs);
    void takeHostChar(const HostChar& c);
    void runChip(uint64_t until);
    void advance();
    void scheduleWake();
    void chipSend(uint8_t byte, const LineSettings& line, int64_t startNs);
    LineSettings userLine() const;

    Scheduler& scheduler_;
    VirtualSerialPort& port_;
    BoardOptions options_;
    State state_ = State::Off;
    bool dtr_ = false;
    bool rts_ = false;
    LineSettings uart_ = kUnmatchedUserLine;
    int lastMatchedSpeed_ = 0;
    std::set<Scheduler::Handle> pending_;
    std::vector<BoardEvent> events_;
    std::function<void(const BoardEvent&)> listener_;
    bool keepEvents_ = true;
    std::vector<BoardEvent> breaches_;  // kept even when the other events are not
    FlashMemory flash_;

    // Boot ROM
    int matchSpeed_ = 0;
    int matchRun_ = 0;
    bool matchByteUsed_ = false;
    int bootLength_ = 0;
    std::vector<uint8_t> ram_;

    // Kernel
    std::vector<uint8_t> record_;
    Scheduler::Handle recordTimer_ = 0;
    std::bitset<FlashMemory::kSize / kBlockSize> written_;
    int blockIndex_ = 0;
    int chipAnswers_ = 0;
    bool chipPrompted_ = false;
    bool portLossDone_ = false;

    // kernel=run
    std::unique_ptr<h8::Chip> chip_;
    int64_t chipStartNs_ = 0;
    std::deque<HostChar> input_;  // on its way to the chip
    uint64_t lastInputAt_ = 0;    // when the chip takes the last character it was given
    Scheduler::Handle wake_ = 0;
    int64_t wakeNs_ = 0;
};

}  // namespace quill::sim
