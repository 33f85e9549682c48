#include "cli/cli_session.h"

#include <cstdlib>
#include <stdexcept>

#include "cli/user_blocks.h"
#include "platform/qt/rfc2217_port.h"
#include "platform/virtual/virtual_serial_port.h"
#include "serial/settings_text.h"

namespace quill::cli {

namespace {

constexpr int16_t kEscapeKey = 27;

// The program never asks for a file here: the names come from the command line.
class NoFileDialog : public FileDialog {
  public:
    void setFileName(const std::string&) override {}
    void showOpen() override {}
    std::string fileName() const override { return ""; }
};

std::string withNewlines(std::string text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out.push_back(text[i]);
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

}  // namespace

// The yield of the waits, which also hands over a Ctrl-C that came while no response wait
// was open.
class CliSession::StopYield : public Yield {
  public:
    explicit StopYield(CliSession& session) : session_(session) {}
    void yieldOnce() override {
        // Before blocking: the wait that just opened may be a long one.
        if (session_.deliverPendingStop()) return;
        inner_.yieldOnce();
    }

  private:
    CliSession& session_;
    QtYield inner_;
};

// The failure exit's message box: its text on standard error.
class CliSession::Messages : public MessageBox {
  public:
    explicit Messages(CliSession& session) : session_(session) {}
    void show(const std::string& text, const std::string& title) override {
        ++shown;
        session_.beforeOutput();
        std::fprintf(session_.streams_.err, "%s: %s\n", title.c_str(), withNewlines(text).c_str());
        std::fflush(session_.streams_.err);
    }
    int shown = 0;

  private:
    CliSession& session_;
};

// Ending the program at once, as the window's Esc outside a wait does: what was printed so
// far stays, nothing else runs.
class CliSession::End : public ProgramEnd {
  public:
    explicit End(CliSession& session) : session_(session) {}
    [[noreturn]] void endProgram() override {
        session_.beforeOutput();
        session_.console_.finish();
        std::fflush(nullptr);
        std::_Exit(kInterruptedExit);
    }

  private:
    CliSession& session_;
};

CliSession::CliSession(const CliOptions& options, CliStreams streams)
    : options_(options),
      streams_(streams),
      yield_(std::make_unique<StopYield>(*this)),
      messages_(std::make_unique<Messages>(*this)),
      end_(std::make_unique<End>(*this)),
      dialog_(std::make_unique<NoFileDialog>()),
      meter_(streams.progress ? std::make_unique<ProgressMeter>(streams.err, scheduler_) : nullptr),
      console_(streams.out, options.quiet),
      cbWrite_(meter_.get(), [this] { return int(form_->bootLength); }) {
    const app::PortKind kind = app::portKind(options_.port.c_str());
    // The host port takes its device from QUILLMONT_PORT when the program selects port 1.
    if (kind == app::PortKind::Host && !options_.port.empty())
        ::setenv(app::kPortVariable, options_.port.c_str(), 1);
    port_ = app::makeProgramPort(scheduler_,
                                 kind == app::PortKind::Host ? nullptr : options_.port.c_str(),
                                 options_.simOptions);
    if (!port_.port) throw std::invalid_argument(port_.error);
    if (port_.network) {
        port_.network->setNoticeHandler([this](const std::string& text) {
            beforeOutput();
            std::fprintf(streams_.err, "quillmont-cli: %s\n", text.c_str());
            std::fflush(streams_.err);
        });
    }
    console_.setBeforeLine([this] {
        if (meter_) meter_->clear();
    });
    form_ = std::make_unique<Form1>(
        Form1Controls{console_,   hexFileN_,    bootFileN_, cbWrite_,    h8stat_,   lbComSpeed_,
                      lbComData_, lbComParity_, lbComStop_, lbComRTS_,   lbComDTR_, lbComCTS_,
                      timer1_,    timer3_,      timer4_,    *port_.port, *dialog_,  *messages_,
                      beeper_,    *end_,        helpForm_,  fileSlot_,   *yield_,   scheduler_},
        // The file names go into the fields below, so that a path may hold blanks.
        std::string());
}

CliSession::~CliSession() = default;

VirtualSerialPort* CliSession::simPort() {
    return port_.board ? static_cast<VirtualSerialPort*>(port_.port.get()) : nullptr;
}

int CliSession::run() {
    if (int status = start(); status != 0) return status;
    const int status = write();
    const int dumped = finish();
    return status != 0 ? status : dumped;
}

int CliSession::start() {
    if (!options_.dumpFlash.empty()) {
        // Opened before the write, so that a path that cannot be written stops the run
        // before the board is touched.
        dump_.open(options_.dumpFlash, std::ios::binary | std::ios::trunc);
        if (!dump_) {
            std::fprintf(streams_.err, "quillmont-cli: cannot write the flash dump %s\n",
                         options_.dumpFlash.c_str());
            return kUsageExit;
        }
    }
    form_->Form_Load();
    if (!port_.port->isOpen()) {
        std::fprintf(streams_.err,
                     "quillmont-cli: cannot open the serial port %s: %s\n"
                     "quillmont-cli: nothing was written (the write would end with code %d, "
                     "H8 Power is OFF)\n",
                     port_.port->portName().c_str(), port_.port->errorString().c_str(),
                     kPortUnavailableExit);
        if (const DeviceAccess access = port_.port->openAccess(); access.denied)
            std::fprintf(streams_.err, "quillmont-cli: %s\n",
                         permissionAdvice({port_.port->portName()}, access.group).c_str());
        return kPortUnavailableExit;
    }
    while (!form_->startupDone) yield_->yieldOnce();
    return 0;
}

int CliSession::write() {
    if (auto blocks = countUserBlocks(options_.userFile)) cbWrite_.setBlockTotal(*blocks);
    // Each assignment raises the field's change handler, which takes the name over.
    bootFileN_.setText(options_.bootFile);
    hexFileN_.setText(options_.userFile);
    const int failuresBefore = messages_->shown;
    console_.setStreaming(true);
    form_->writeFlash();
    beforeOutput();
    console_.finish();
    console_.setStreaming(false);
    // The failure exit always shows its message box; errorCode alone is no verdict, as a stop
    // key in the last user-mode reset sets it after the write has succeeded.
    if (messages_->shown == failuresBefore) return 0;
    const int code = form_->errorCode;
    return code > 0 && code < 256 ? code : 1;
}

int CliSession::finish() {
    if (!dump_.is_open()) return 0;
    if (port_.board) {
        const auto& bytes = port_.board->flash().bytes();
        dump_.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    dump_.close();
    if (!dump_) {
        std::fprintf(streams_.err, "quillmont-cli: cannot write the flash dump %s\n",
                     options_.dumpFlash.c_str());
        return kUsageExit;
    }
    return 0;
}

void CliSession::interrupt() {
    if (++interrupts_ >= 2) {
        beforeOutput();
        std::fputs("quillmont-cli: interrupted\n", streams_.err);
        // The window's way out: the port closes, the program ends.
        form_->quitProgram();
    }
    beforeOutput();
    std::fputs("quillmont-cli: stopping the write (Ctrl-C again ends at once)\n", streams_.err);
    std::fflush(streams_.err);
    stopPending_ = true;
    deliverPendingStop();
}

bool CliSession::deliverPendingStop() {
    if (!stopPending_ || form_->abortFlag) return false;
    stopPending_ = false;
    int16_t key = kEscapeKey;
    int16_t shift = 0;
    form_->Form_KeyDown(key, shift);
    return true;
}

void CliSession::beforeOutput() {
    if (meter_) meter_->clear();
}

}  // namespace quill::cli
