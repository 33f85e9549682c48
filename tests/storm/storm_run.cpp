#include "storm/storm.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>

#include "flash/error_codes.h"
#include "flash/error_messages.h"
#include "shell/number_forms.h"
#include "sim/board.h"
#include "support/virtual_desk.h"

namespace quill::storm {

namespace {

const std::string kSuccessEnd = "Flash write end ! (Success)\r\n";
const std::string kFailureEnd = " (Failure)\r\n";
constexpr int16_t kEscKey = 27;
constexpr int64_t kUserPauseNs = 2 * kNsPerSecond;

// What a failure code's words must begin with, whatever byte its report names.
std::string stableWords(int32_t code, const ErrorContext& context) {
    std::string words = errorMessage(code, context);
    if (code == kEraseUnknownAnswer || code == kNoStartAnswer)
        words = words.substr(0, words.find_last_of("[:"));
    return words;
}

class StormRun {
  public:
    explicit StormRun(const Schedule& s) : s_(s), cable_(s.cable) {
        auto parsed = sim::parseBoardOptions(s.boardOptions);
        if (!parsed.ok()) {
            fail("the board options are refused: " + parsed.error);
            return;
        }
        options_ = parsed.options;
        bootFile_ = folder_.write(
            "boot" + std::string(s.bootIntelHex ? ".hex" : ".mot"),
            testing::dataRecords(s.bootIntelHex, {{0xF780, s.boot}}, s.bootRecordLength));
        userFile_ = folder_.write("user" + std::string(s.userIntelHex ? ".hex" : ".mot"),
                                  testing::dataRecords(s.userIntelHex, s.user, s.userRecordLength));
        desk_.port.keepTraffic(false);
        board_ = std::make_unique<sim::Board>(desk_.clock, desk_.port, options_);
    }

    Verdict run() {
        if (!board_) return std::move(v_);
        desk_.start();
        desk_.bootFileN.setText(bootFile_);
        desk_.hexFileN.setText(userFile_);

        const int64_t t0 = desk_.clock.nowNs();
        desk_.port.setCableFaults(&cable_);
        const int64_t stormEnd = scheduleStorm(t0);
        const bool ended = write("the faulty write");
        desk_.port.setCableFaults(nullptr);
        stormOver_ = true;
        v_.writeNs = desk_.clock.nowNs() - t0;
        for (const auto& strike : cable_.struck()) v_.struck.push_back(strike.words());
        v_.console = desk_.status.text();
        if (!ended) return std::move(v_);

        v_.success = v_.console.ends_with(kSuccessEnd);
        if (!v_.success) checkFailureReport();
        checkWindowBack("the faulty write");

        // Power and port come back; then the board must be running its flash program.
        desk_.clock.setTimeLimitNs(desk_.clock.nowNs() + kWriteBoundNs);
        desk_.clock.runFor(std::max<int64_t>(0, stormEnd - desk_.clock.nowNs()) + kNsPerMs);
        // A board whose own fault cut its power is switched on again, as its user would.
        board_->setPower(true);
        if (board_->state() != sim::Board::State::User)
            fail("after the write the board is not in user mode");
        checkFlash();
        if (!v_.success) {
            // The user closes the message box and clicks Write again: by then whatever the
            // faulty board still had on the line has arrived (a chattering board's 300
            // characters take 1.25 s at 2400 bit/s, and the board's reset does not cut
            // characters already put on the virtual line).
            desk_.clock.runFor(kUserPauseNs);
            writeAgain();
        }
        return std::move(v_);
    }

  private:
    Form1& form() { return *desk_.form; }
    void fail(const std::string& what) { v_.violations.push_back(what); }

    // The storm's own events; returns when the last has passed.
    int64_t scheduleStorm(int64_t t0) {
        int64_t end = t0;
        if (s_.power.happens) {
            at(s_.power.atNs, [this] { board_->setPower(false); });
            at(s_.power.atNs + s_.power.lastsNs, [this] { board_->setPower(true); });
            end = std::max(end, t0 + s_.power.atNs + s_.power.lastsNs);
        }
        if (s_.portLoss.happens) {
            at(s_.portLoss.atNs, [this] { desk_.port.failDevice("device disconnected"); });
            at(s_.portLoss.atNs + s_.portLoss.lastsNs, [this] { desk_.port.restoreDevice(); });
            // The port finds the adapter back at its next reopen.
            end = std::max(
                end, t0 + s_.portLoss.atNs + s_.portLoss.lastsNs + kReopenIntervalMs * kNsPerMs);
        }
        if (s_.stopKey) at(s_.stopKeyAtNs, [this] { pressEscInAWait(); });
        return end;
    }

    void at(int64_t delayNs, std::function<void()> fn) {
        desk_.clock.schedule(delayNs, std::move(fn));
    }

    // Esc is a stop only while a response wait runs; at any other moment it would end the
    // program, so the finger waits for the next wait.
    void pressEscInAWait() {
        if (stormOver_ || !form().writeBusy) return;
        if (form().abortFlag) {
            at(kNsPerMs, [this] { pressEscInAWait(); });
            return;
        }
        int16_t key = kEscKey, shift = 0;
        form().Form_KeyDown(key, shift);
    }

    // One click on Write; false when it did not end as a write must.
    bool write(const std::string& which) {
        desk_.clock.setTimeLimitNs(desk_.clock.nowNs() + kWriteBoundNs);
        try {
            form().cbWrite_Click();
            return true;
        } catch (const VirtualTimeStalled& e) {
            fail(which + " did not end: " + e.what());
        } catch (const ProgramEnded&) {
            fail(which + " ended the program");
        } catch (const std::exception& e) {
            fail(which + " threw: " + e.what());
        }
        return false;
    }

    // The code as the report line gives it: errorCode itself may change after the report, as
    // a talkative board goes on sending while the chip is reset.
    void checkFailureReport() {
        const size_t report = v_.console.rfind(" ? [");
        if (report == std::string::npos) {
            fail("a failure without a report line");
            return;
        }
        const int32_t code = std::atoi(v_.console.c_str() + report + 4);
        v_.code = code;
        const ErrorContext context{bootFile_, userFile_, form().bootStartAddress, 0, 0};
        if (code == kNoError || (errorMessage(code, context) == errorMessage(-1, context) &&
                                 code != kBlockAddressTooHigh))
            fail("the failure's code " + std::to_string(code) + " is not in the error table");
        const auto& shown = desk_.messageBox.shown;
        if (shown.size() != 1) {
            fail(std::to_string(shown.size()) + " message boxes for one failure");
            return;
        }
        const std::string& text = shown.front().text;
        if (text.rfind(stableWords(code, context), 0) != 0)
            fail("the message box says \"" + text + "\" for code " + std::to_string(code));
        // A lost or returning port may put its own line between the report and the end.
        if (report != v_.console.find(" ? [" + decimalForm(code) + " ] " + text + "\r\n", report))
            fail("the report line of code " + std::to_string(code) + " is not the message box's");
        if (!v_.console.ends_with("\n" + kFailureEnd))
            fail("the console's last line is not \" (Failure)\"");
    }

    void checkWindowBack(const std::string& which) {
        if (form().writeBusy || !form().terminalMode || desk_.fileSlot.isOpen() ||
            desk_.cbWrite.caption() != "Write")
            fail("after " + which + " the window is not back in terminal mode");
    }

    // Nothing outside the user program's blocks is written, and a success leaves its image.
    void checkFlash() {
        const auto image = s_.image();
        const auto& flash = board_->flash().bytes();
        std::vector<bool> covered(image.size() / sim::kBlockSize, false);
        for (int block : s_.blocks()) covered[size_t(block)] = true;
        bool outside = false, differs = false;
        for (size_t a = 0; a < image.size(); ++a) {
            if (covered[a / sim::kBlockSize]) {
                differs = differs || flash[a] != image[a];
                continue;
            }
            auto stuck = options_.stuckCells.find(uint16_t(a));
            const bool erased = flash[a] == 0xFF ||
                                (stuck != options_.stuckCells.end() && flash[a] == stuck->second);
            outside = outside || !erased;
        }
        if (outside) fail("the flash was written outside the user program's blocks");
        if (!v_.success) return;
        if (differs || board_->bootImage() != s_.boot) {
            const auto& struck = cable_.struck();
            if (std::any_of(struck.begin(), struck.end(), forgesAcceptance)) {
                v_.forgedSuccess = true;
            } else {
                fail("(Success) but the flash is not the user program");
            }
        }
    }

    // The same program writes again to a sound board on a sound cable.
    void writeAgain() {
        board_.reset();
        sim::BoardOptions sound;
        sound.kernel = sim::BoardOptions::Kernel::Model;
        board_ = std::make_unique<sim::Board>(desk_.clock, desk_.port, sound);
        const size_t boxes = desk_.messageBox.shown.size();
        const bool ended = write("the second write");
        v_.console += "\n--- second write ---\n" + desk_.status.text();
        if (!ended) return;
        const std::vector<uint8_t> image = s_.image();
        const auto& flash = board_->flash().bytes();
        if (!desk_.status.text().ends_with(kSuccessEnd) || desk_.messageBox.shown.size() != boxes ||
            !std::equal(image.begin(), image.end(), flash.begin()))
            fail("the second write, without faults, did not write the user program");
        checkWindowBack("the second write");
    }

    const Schedule& s_;
    CableFaults cable_;  // outlives the desk, whose port holds it
    testing::ScratchFolder folder_;
    testing::VirtualDesk desk_;
    sim::BoardOptions options_;
    std::unique_ptr<sim::Board> board_;
    std::string bootFile_, userFile_;
    bool stormOver_ = false;
    Verdict v_;
};

}  // namespace

bool forgesAcceptance(const CableFaults::Strike& s) {
    if (s.fault.direction != CableFault::Direction::ToHost) return false;
    const auto& bytes = s.arrival.bytes;
    const auto real = s.sent != sim::kAnswerAccepted             ? 0
                      : s.fault.kind == CableFault::Kind::Double ? 2
                                                                 : 1;
    return std::count(bytes.begin(), bytes.end(), sim::kAnswerAccepted) > real;
}

Verdict runSchedule(const Schedule& schedule) {
    return StormRun(schedule).run();
}

std::string violationReport(const Schedule& s, const Verdict& v) {
    std::string text = "VIOLATION " + s.words();
    for (const auto& what : v.violations) text += "  broken: " + what + "\n";
    for (const auto& what : v.struck) text += "  struck: " + what + "\n";
    return text + "  replay: scripts/storm --seed " + std::to_string(s.seed) + "\n";
}

}  // namespace quill::storm
