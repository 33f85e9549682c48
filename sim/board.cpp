#include "sim/board.h"

#include <algorithm>
#include <array>
#include <memory>

#include "platform/virtual/wire.h"

namespace quill::sim {

namespace {

constexpr uint8_t kMatchAnswer = 0x00;
constexpr uint8_t kEraseRequest = 0x55;
constexpr uint8_t kBootAcknowledge = 0xAA;  // flash erased, and again when the kernel starts
constexpr uint8_t kWakeUp = 0x0D;

int64_t ms(int milliseconds) {
    return int64_t(milliseconds) * kNsPerMs;
}

// Chip states and nanoseconds, in two parts so that an hour at 100 MHz does not overflow.
uint64_t statesIn(int64_t ns, int64_t hz) {
    return uint64_t(ns / kNsPerSecond) * uint64_t(hz) +
           uint64_t(ns % kNsPerSecond) * uint64_t(hz) / uint64_t(kNsPerSecond);
}
int64_t nsOf(uint64_t states, int64_t hz) {
    return int64_t(states / uint64_t(hz)) * kNsPerSecond +
           int64_t((states % uint64_t(hz)) * uint64_t(kNsPerSecond) / uint64_t(hz));
}

// How many bit times the line stays low from the start bit of an H'00: the boot ROM times
// that run and takes it as nine bits, so only a format whose run is nine bits long matches.
int lowRunOfZero(const LineSettings& s) {
    const bool parityLow = s.parity == 'E' || s.parity == 'S';
    return 1 + s.dataBits + (parityLow ? 1 : 0);
}

std::string chatterText(int length) {
    std::string text;
    while (int(text.size()) < length) text += "kernel: verify pass, block busy\r\n";
    text.resize(size_t(length));
    return text;
}

// The device leaves the host and returns on the scheduler alone: the reset that its lines
// falling cause on the board must not cancel the return.
void losePort(Scheduler& scheduler, VirtualSerialPort& port, int backMs) {
    port.failDevice("device disconnected");
    scheduler.schedule(ms(backMs), [&port] { port.restoreDevice(); });
}

}  // namespace

const char* boardEventName(BoardEvent::Kind kind) {
    using K = BoardEvent::Kind;
    switch (kind) {
        case K::PowerOn:
            return "power on";
        case K::PowerOff:
            return "power off";
        case K::Reset:
            return "reset";
        case K::BootMode:
            return "boot mode";
        case K::UserMode:
            return "user mode";
        case K::Nmi:
            return "NMI";
        case K::BreakOn:
            return "break on";
        case K::BreakOff:
            return "break off";
        case K::UartError:
            return "UART error";
        case K::Matched:
            return "bit rate matched";
        case K::EraseStart:
            return "erase start";
        case K::EraseEnd:
            return "erase end";
        case K::Length:
            return "length";
        case K::KernelStart:
            return "kernel start";
        case K::KernelWake:
            return "kernel wake-up";
        case K::Block:
            return "block";
        case K::FlashRule:
            return "flash rule broken";
        case K::ProgramStopped:
            return "program stopped";
    }
    return "?";
}

Board::Board(Scheduler& scheduler, VirtualSerialPort& port, BoardOptions options)
    : scheduler_(scheduler), port_(port), options_(std::move(options)) {
    for (auto [address, value] : options_.stuckCells) flash_.setStuck(address, value);
    port_.attach(this);
    port_.setAdapter(options_.adapter);
    dtr_ = port_.isOpen() && port_.dtr();
    rts_ = port_.isOpen() && port_.rts();
    if (!options_.unpowered) setPower(true);
    using When = BoardOptions::PortLoss::When;
    if (options_.portLost && options_.portLost->when == When::Time) {
        scheduler_.schedule(ms(options_.portLost->value),
                            [&scheduler = scheduler_, &port = port_, back = options_.portBackMs] {
                                losePort(scheduler, port, back);
                            });
    }
}

void Board::losePortAt(BoardOptions::PortLoss::When when, int block) {
    const auto& loss = options_.portLost;
    if (portLossDone_ || !loss || loss->when != when) return;
    if (when == BoardOptions::PortLoss::When::Block && loss->value != block) return;
    // An adapter is pulled out once: the writes after its return go through.
    portLossDone_ = true;
    losePort(scheduler_, port_, options_.portBackMs);
}

Board::~Board() {
    stopEverything();
    port_.attach(nullptr);
    port_.setAdapter(std::nullopt);
}

void Board::log(BoardEvent::Kind kind, int value, char answer, std::string text) {
    logAt(scheduler_.nowNs(), kind, value, answer, std::move(text));
}

void Board::logAt(int64_t timeNs, BoardEvent::Kind kind, int value, char answer,
                  std::string text) {
    const BoardEvent event{timeNs, kind, value, answer, std::move(text)};
    if (kind == BoardEvent::Kind::FlashRule || kind == BoardEvent::Kind::ProgramStopped)
        breaches_.push_back(event);
    if (keepEvents_) events_.push_back(event);
    if (listener_) listener_(event);
}

Scheduler::Handle Board::after(int64_t delayNs, std::function<void()> fn) {
    auto self = std::make_shared<Scheduler::Handle>(0);
    Scheduler::Handle handle = scheduler_.schedule(delayNs, [this, self, fn = std::move(fn)] {
        pending_.erase(*self);
        fn();
    });
    *self = handle;
    pending_.insert(handle);
    return handle;
}

void Board::cancel(Scheduler::Handle& handle) {
    if (handle != 0 && pending_.erase(handle) != 0) scheduler_.cancel(handle);
    handle = 0;
}

// A reset or a power loss ends whatever the chip was in the middle of.
void Board::stopEverything() {
    for (auto handle : pending_) scheduler_.cancel(handle);
    pending_.clear();
    recordTimer_ = 0;
    wake_ = 0;
    record_.clear();
    input_.clear();
    chip_.reset();
}

void Board::send(uint8_t byte) {
    if (powered()) port_.sendToHost(byte, uart_);
}

void Board::send(std::string_view text) {
    for (char c : text) send(uint8_t(c));
}

// ---- power, reset and mode

void Board::setPower(bool on) {
    if (on == powered()) return;
    if (!on) {
        stopEverything();
        state_ = State::Off;
        log(BoardEvent::Kind::PowerOff);
        port_.setCtsLine(false);
        return;
    }
    state_ = State::Reset;
    log(BoardEvent::Kind::PowerOn);
    port_.setCtsLine(true);
    if (dtr_) release();
}

void Board::hostLines(bool dtr, bool rts) {
    const bool dtrWas = dtr_;
    const bool rtsWas = rts_;
    dtr_ = dtr;
    rts_ = rts;
    if (!powered()) return;
    if (dtrWas && !dtr) {
        stopEverything();
        state_ = State::Reset;
        log(BoardEvent::Kind::Reset);
    } else if (!dtrWas && dtr) {
        release();
    } else if (dtr && rtsWas && !rts) {
        log(BoardEvent::Kind::Nmi);
        if (state_ == State::User) send(kNmiNotice);
        if (state_ == State::Running) {
            // The chip may have run ahead, expecting nothing: then it takes the NMI late.
            const uint64_t now = chipStates(scheduler_.nowNs());
            chip_->inputKnownUntil(std::max(now, lastInputAt_));
            runChip(now);
            chip_->cpu().nmi();
            advance();
        }
    }
}

// The chip leaves reset and samples its mode pin, which RTS drives.
void Board::release() {
    if (!rts_) {
        state_ = State::Matching;
        matchSpeed_ = 0;
        matchRun_ = 0;
        matchByteUsed_ = false;
        bootLength_ = 0;
        ram_.clear();
        log(BoardEvent::Kind::BootMode);
        return;
    }
    state_ = State::User;
    uart_ = userLine();
    log(BoardEvent::Kind::UserMode);
    send(kUserGreeting);
}

LineSettings Board::userLine() const {
    if (options_.userLine) return *options_.userLine;
    if (lastMatchedSpeed_ != 0) return {lastMatchedSpeed_, 'N', 8, 1};
    return kUnmatchedUserLine;
}

void Board::hostBreak(bool on) {
    if (powered()) log(on ? BoardEvent::Kind::BreakOn : BoardEvent::Kind::BreakOff);
    // The break swallows what is still on its way.
    const int64_t now = scheduler_.nowNs();
    if (on) std::erase_if(input_, [now](const HostChar& c) { return c.arrivalNs > now; });
}

// ---- the board's UART

void Board::hostChar(uint8_t byte, const LineSettings& hostSettings) {
    switch (state_) {
        case State::Off:
        case State::Reset:
        case State::Halted:
        case State::Erasing:
            return;
        case State::Matching:
            // No UART is set up yet: the boot ROM times the bits itself.
            matchByte(byte, hostSettings);
            return;
        default:
            break;
    }
    if (state_ == State::Running) {
        queueHostChar(byte, hostSettings, scheduler_.nowNs());
        advance();
        return;
    }
    for (const auto& r : wire::receiveChar(byte, hostSettings, uart_)) {
        if (r.kind != wire::Received::Kind::Byte) {
            log(BoardEvent::Kind::UartError, hostSettings.speed);
            continue;
        }
        switch (state_) {
            case State::KernelAsleep:
            case State::Kernel:
                kernelByte(r.byte);
                break;
            case State::User:
                userByte(r.byte);
                break;
            default:
                bootByte(r.byte);
                break;
        }
    }
}

// ---- boot ROM

void Board::matchByte(uint8_t byte, const LineSettings& host) {
    const auto& speeds = options_.speeds;
    const bool matchable = byte == 0 && lowRunOfZero(host) == 9 && !options_.matchSilent &&
                           std::find(speeds.begin(), speeds.end(), host.speed) != speeds.end();
    if (!matchable) {
        matchRun_ = 0;
        return;
    }
    if (host.speed != matchSpeed_) {
        matchSpeed_ = host.speed;
        matchRun_ = 0;
    }
    if (++matchRun_ < options_.matchCount) return;
    matchRun_ = 0;
    uart_ = {host.speed, 'N', 8, 1};
    if (options_.matchByte && !matchByteUsed_) {
        // A bad answer: the boot ROM goes on measuring.
        matchByteUsed_ = true;
        send(*options_.matchByte);
        return;
    }
    lastMatchedSpeed_ = host.speed;
    log(BoardEvent::Kind::Matched, host.speed);
    state_ = State::AwaitErase;
    send(kMatchAnswer);
}

void Board::bootByte(uint8_t byte) {
    switch (state_) {
        case State::AwaitErase:
            if (byte == kEraseRequest) startErase();
            break;
        case State::LengthHigh:
            lengthByte(byte);
            break;
        case State::LengthLow:
            lengthByte(byte);
            break;
        case State::Image:
            imageByte(byte);
            break;
        default:
            break;
    }
}

void Board::startErase() {
    state_ = State::Erasing;
    log(BoardEvent::Kind::EraseStart);
    const int64_t eraseNs = ms(options_.eraseTimeMs);
    if (options_.lineErrorErase)
        after(eraseNs / 2, [this] { port_.injectEvent(CommEvent::FramingError); });
    after(eraseNs / 2, [this] { losePortAt(BoardOptions::PortLoss::When::Erase); });
    after(eraseNs, [this] {
        flash_.erase();
        written_.reset();
        log(BoardEvent::Kind::EraseEnd);
        state_ = State::LengthHigh;
        using E = BoardOptions::EraseAnswer;
        switch (options_.erase) {
            case E::Normal:
                send(kBootAcknowledge);
                break;
            case E::Byte:
                send(options_.eraseByte);
                break;
            case E::Silent:
                break;
            case E::Double:
                port_.sendBurstToHost({kBootAcknowledge, kBootAcknowledge}, uart_);
                break;
        }
    });
}

// Each length byte is echoed as it comes, unless the length is already known to be more
// than the RAM holds; then the boot ROM stops answering.
void Board::lengthByte(uint8_t byte) {
    using L = BoardOptions::LengthEcho;
    if (state_ == State::LengthHigh) {
        bootLength_ = byte << 8;
        if (bootLength_ > kMaxBootLength) {
            state_ = State::Halted;
            return;
        }
        state_ = State::LengthLow;
        send(byte);
        return;
    }
    bootLength_ |= byte;
    log(BoardEvent::Kind::Length, bootLength_);
    if (bootLength_ > kMaxBootLength) {
        state_ = State::Halted;
        return;
    }
    if (options_.lengthEcho == L::Normal) send(byte);
    if (options_.lengthEcho == L::Wrong) send(uint8_t(~byte));
    state_ = State::Image;
    if (bootLength_ == 0) startKernel();
}

void Board::imageByte(uint8_t byte) {
    const int index = int(ram_.size());
    ram_.push_back(byte);
    auto fault = options_.imageEcho.find(index);
    if (fault == options_.imageEcho.end()) {
        send(byte);
    } else if (fault->second == BoardOptions::EchoFault::Wrong) {
        send(uint8_t(~byte));
    }
    if (int(ram_.size()) == bootLength_) startKernel();
}

void Board::startKernel() {
    log(BoardEvent::Kind::KernelStart);
    using S = BoardOptions::StartAnswer;
    if (options_.start == S::Normal) send(kBootAcknowledge);
    if (options_.start == S::Byte) send(options_.startByte);
    record_.clear();
    blockIndex_ = 0;
    chipAnswers_ = 0;
    chipPrompted_ = false;
    if (options_.kernel == BoardOptions::Kernel::Run) {
        startChip();
        return;
    }
    state_ = State::KernelAsleep;
}

// ---- the received program on the emulated chip

void Board::startChip() {
    state_ = State::Running;
    chipStartNs_ = scheduler_.nowNs();
    lastInputAt_ = 0;
    input_.clear();
    h8::Chip::Setup setup;
    setup.clockHz = options_.clockHz;
    setup.minPulses = options_.minPulses;
    setup.maxPulses = options_.maxPulses;
    h8::Chip::Hooks hooks;
    // The chip may run ahead of the clock: what it sends waits for its start bit's time, so
    // that a reset before then still silences it.
    hooks.send = [this](uint8_t byte, const LineSettings& line, uint64_t startStates) {
        const int64_t startNs = chipStartNs_ + nsOf(startStates, options_.clockHz);
        const int64_t delayNs = startNs - scheduler_.nowNs();
        if (delayNs > 0) {
            after(delayNs, [this, byte, line, startNs] { chipSend(byte, line, startNs); });
        } else {
            chipSend(byte, line, startNs);
        }
    };
    hooks.breach = [this](int address, const std::string& text) {
        logAt(chipStartNs_ + nsOf(chip_->states(), options_.clockHz), BoardEvent::Kind::FlashRule,
              address, 0, text);
    };
    chip_ = std::make_unique<h8::Chip>(flash_, setup, std::move(hooks));
    chip_->sci().presetFor(uart_.speed);
    chip_->start(kRamLoadAddress, ram_);
    advance();
}

void Board::chipSend(uint8_t byte, const LineSettings& line, int64_t startNs) {
    if (chipPrompted_) ++chipAnswers_;
    chipPrompted_ = chipPrompted_ || byte == '>';
    if (powered()) port_.sendToHost(byte, line, startNs);
}

uint64_t Board::chipStates(int64_t ns) const {
    return statesIn(ns - chipStartNs_, options_.clockHz);
}

// Rounded up, so that the chip's clock has reached `states` by then.
int64_t Board::chipNs(uint64_t states) const {
    const int64_t ns = chipStartNs_ + nsOf(states, options_.clockHz);
    return chipStates(ns) < states ? ns + 1 : ns;
}

void Board::hostCharAhead(uint8_t byte, const LineSettings& hostSettings, int64_t arrivalNs) {
    if (state_ != State::Running) return;
    queueHostChar(byte, hostSettings, arrivalNs);
    scheduleWake();
}

// In real time the host's characters can reach the board a few at once, late; the chip takes
// each a character time after the one before at the soonest, as the line would have brought
// them, or it would see an overrun that never happened.
void Board::queueHostChar(uint8_t byte, const LineSettings& hostSettings, int64_t arrivalNs) {
    const uint64_t charStates = statesIn(hostSettings.charTimeNs(), options_.clockHz);
    lastInputAt_ = std::max(chipStates(arrivalNs), lastInputAt_ + charStates);
    input_.push_back({lastInputAt_, arrivalNs, byte, hostSettings});
}

void Board::takeHostChar(const HostChar& c) {
    auto& sci = chip_->sci();
    if (!sci.receiverOn()) return;
    for (const auto& r : wire::receiveChar(c.byte, c.settings, sci.lineSettings())) {
        using R = h8::Sci3::Received;
        const R kind = r.kind == wire::Received::Kind::Byte           ? R::Byte
                       : r.kind == wire::Received::Kind::FramingError ? R::FramingError
                                                                      : R::ParityError;
        if (kind != R::Byte) logAt(c.arrivalNs, BoardEvent::Kind::UartError, c.settings.speed);
        sci.receive(r.byte, kind, chip_->states());
    }
}

// Runs the chip until its clock reaches `until` or it parks, handing it each character from
// the host at its time.
void Board::runChip(uint64_t until) {
    const auto before = chip_->cpu().stopped();
    for (;;) {
        const uint64_t target = input_.empty() ? until : std::min(until, input_.front().at);
        if (target > chip_->states()) chip_->runUntil(target);
        if (input_.empty() || input_.front().at > chip_->states()) break;
        takeHostChar(input_.front());
        input_.pop_front();
    }
    const auto after = chip_->cpu().stopped();
    if (after != before && after != h8::Cpu::Stop::Running)
        logAt(chipStartNs_ + nsOf(chip_->stoppedAt(), options_.clockHz),
              BoardEvent::Kind::ProgramStopped, chip_->cpu().pc, 0, chip_->cpu().stopText());
}

// The chip runs ahead through what it knows the host sends, and stops where it waits on the
// line for more (or a lead past that at most); the board sleeps until the host's next
// character or the chip's next event: a byte to send, a transmitter flag, the end of its lead.
void Board::advance() {
    if (!chip_) return;
    const uint64_t now = chipStates(scheduler_.nowNs());
    const uint64_t known = std::max(now, lastInputAt_);
    chip_->inputKnownUntil(known);
    const bool running = chip_->cpu().stopped() == h8::Cpu::Stop::Running;
    runChip(running ? known + statesIn(kLeadNs, options_.clockHz) : now);
    scheduleWake();
}

void Board::scheduleWake() {
    uint64_t due = input_.empty() ? UINT64_MAX : input_.front().at;
    if (chip_->cpu().stopped() == h8::Cpu::Stop::Running)
        due = std::min(due, chip_->parked() ? chip_->cpu().parkedUntil() : chip_->states());
    due = std::min(due, chip_->sci().nextChange(chip_->states()));
    if (due == UINT64_MAX) {
        cancel(wake_);
        return;
    }
    const int64_t dueNs = chipNs(due);
    if (wake_ != 0 && wakeNs_ == dueNs) return;
    cancel(wake_);
    wakeNs_ = dueNs;
    wake_ = after(std::max<int64_t>(dueNs - scheduler_.nowNs(), 0), [this] {
        wake_ = 0;
        advance();
    });
}

// ---- kernel

void Board::kernelByte(uint8_t byte) {
    if (state_ == State::KernelAsleep) {
        if (byte == kWakeUp) wake();
        return;
    }
    if (record_.empty()) {
        recordTimer_ = after(ms(kRecordTimeOutMs), [this] {
            recordTimer_ = 0;
            record_.clear();
            log(BoardEvent::Kind::Block, -1, kAnswerTimeOut);
            send(uint8_t(kAnswerTimeOut));
        });
    }
    record_.push_back(byte);
    if (record_.size() == kRecordSize) {
        cancel(recordTimer_);
        takeRecord();
    }
}

void Board::wake() {
    state_ = State::Kernel;
    log(BoardEvent::Kind::KernelWake);
    send(kKernelBanner);
    using P = BoardOptions::Prompt;
    if (options_.prompt == P::Normal) send(uint8_t(kAnswerAccepted));
    if (options_.prompt == P::Late)
        after(ms(kLatePromptMs), [this] { send(uint8_t(kAnswerAccepted)); });
}

void Board::takeRecord() {
    std::array<uint8_t, kRecordSize> record;
    std::copy(record_.begin(), record_.end(), record.begin());
    record_.clear();
    const int block = blockIndex_++;
    const uint16_t address = recordAddress(record);
    char fault = recordFault(record);
    if (fault == 0 && written_[address / kBlockSize]) fault = kAnswerWrittenTwice;
    const auto data = std::span<const uint8_t>(record).subspan(kRecordDataOffset, kBlockSize);
    const int64_t programNs = ms(options_.programTimeMs);

    if (options_.blockSilent.count(block) != 0) {
        log(BoardEvent::Kind::Block, address, 0);
        return;
    }
    if (options_.powerOffBlock == block) {
        // The supply fails halfway through programming: half a block reaches the flash.
        after(programNs / 2, [this, fault, address, data = std::vector(data.begin(), data.end())] {
            if (fault == 0) flash_.program(address, std::span(data).first(kBlockSize / 2));
            log(BoardEvent::Kind::Block, address, 0);
            setPower(false);
        });
        return;
    }
    if (auto forced = options_.blockAnswer.find(block); forced != options_.blockAnswer.end()) {
        char c = forced->second;
        after(programNs, [this, block, address, c] { answer(block, address, c); });
        return;
    }
    if (fault != 0) {
        answer(block, address, fault);
        return;
    }
    written_.set(address / kBlockSize);
    after(programNs, [this, block, address, data = std::vector(data.begin(), data.end())] {
        const bool ok = flash_.program(address, data);
        answer(block, address, ok ? kAnswerAccepted : kAnswerProgramFailed);
    });
}

void Board::answer(int block, int address, char c) {
    if (options_.lineErrorBlocks.count(block) != 0) port_.injectEvent(CommEvent::FramingError);
    log(BoardEvent::Kind::Block, address, c);
    losePortAt(BoardOptions::PortLoss::When::Block, block);
    if (options_.chatter && block == 0) {
        // A talkative kernel: its answer and a long report behind it, which a buffering
        // driver hands over in one batch.
        std::string text = c + chatterText(kChatterLength - 1);
        if (powered()) port_.sendBurstToHost({text.begin(), text.end()}, uart_);
        return;
    }
    send(uint8_t(c));
}

// ---- user program

void Board::userByte(uint8_t byte) {
    send(byte);
}

}  // namespace quill::sim
