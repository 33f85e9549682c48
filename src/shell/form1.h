#pragma once

// Form1, the main window: its state and every operation of the program.
//
// The operations are grouped by subsystem, and each group lives in its own file:
//
//   shell/startup.cpp           start-up, the command line, the first tick, shutdown
//   shell/console_modes.cpp     terminal and write mode, the power indicator, screen reset,
//                               a lost port and its return, the port's notices
//   shell/window_events.cpp     what each click, menu item and text change starts
//   serial/com_port.cpp         port set-up, line settings, the RTS/DTR/CTS labels
//   images/record_readers.cpp   the four record readers with their sinks
//   images/boot_loader.cpp      the boot program loader
//   images/user_loader.cpp      the user program loader, the user buffer and its blocks
//   images/file_choice.cpp      choosing the two program files
//   flash/link.cpp              receive state, waits, line pulses, the file probe
//   flash/boot_transfer.cpp     the write sequence up to the start of the kernel
//   flash/kernel_protocol.cpp   the block transfer to the running kernel
//   flash/write_driver.cpp      writeFlash and the failure exit
//   terminal/receive.cpp        the serial event handler
//   terminal/keyboard.cpp       the keyboard commands
//   terminal/help.cpp           the help window
//
// Plain functions of their inputs (record decoding, the block record, the settings text, the
// key translation, the display text, the error texts) live in small files of their own next
// to the group that uses them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console.h"
#include "platform/controls.h"
#include "platform/scheduler.h"
#include "platform/serial_port.h"
#include "platform/text_file.h"
#include "platform/timer.h"
#include "shell/form1_state.h"

namespace quill {

// The platform pieces Form1 works with, under the names the window design gives them.
struct Form1Controls {
    Console& Status;
    TextField& HexFileN;
    TextField& BootFileN;
    Button& cbWrite;
    Label& H8stat;
    Label& lbComSpeed;
    Label& lbComData;
    Label& lbComParity;
    Label& lbComStop;
    Label& lbComRTS;
    Label& lbComDTR;
    Label& lbComCTS;
    Timer& Timer1;
    Timer& Timer3;
    Timer& Timer4;
    SerialPort& MSComm1;
    FileDialog& CommonDialog1;
    MessageBox& messageBox;
    Beeper& beeper;
    ProgramEnd& programEnd;
    HelpWindow& HelpForm;
    TextFileSlot& fileSlot;
    Yield& yield;
    Clock& clock;
};

// The controls are a base, so that every operation names them as the design does (Status,
// cbWrite, MSComm1, ...).
class Form1 : public Form1State, protected Form1Controls {
  public:
    // The program's command line without its own name, as one text.
    Form1(const Form1Controls& controls, std::string commandLine);
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    static constexpr const char* kAppTitle = "Quillmont";
    static constexpr const char* kCaption = "Quillmont v0.7";

    // ---- shell/startup.cpp ----
    void Form_Load();
    void initVariables();
    int16_t getArgument(std::string& arg1, std::string& arg2);
    void Timer1_Timer();
    [[noreturn]] void quitProgram();
    [[noreturn]] void Form_Unload();

    // ---- shell/console_modes.cpp ----
    void setTerminalMode();
    void setWriteMode();
    void checkH8Power();
    void resetScreen();
    // The port's device went away or came back (the platform reopens it): a console line
    // and the power indicator.
    void portLost();
    void portBack();
    // Something the port says that is no event (a network server that does not confirm line
    // changes): a console line of its own, held until the first tick has reset the screen.
    void portNotice(const std::string& text);
    // Inserts text at the console's caret: the one way output is added.
    void consoleWrite(std::string_view text);

    // ---- shell/window_events.cpp ----
    void cbUser_Click();
    void cbBoot_Click();
    void cbWrite_Click();
    void cbNMI_Click();
    void cbReset_Click();
    void H8stat_Click();
    void mnuBt_Click();
    void mnuProg_Click();
    void mnuExit_Click();
    void mnuWrite_Click();
    void mnuVerify_Click();
    void mnuRead_Click();
    void H8Reset_Click();
    void H8NMI_Click();

    // ---- serial/com_port.cpp ----
    void openComPort();
    void applyComSettings();
    void showComSettings();
    void cycleComSpeed();
    void cycleComData();
    void cycleComParity();
    void cycleComStop();
    void lbComSpeed_Click();
    void lbComData_Click();
    void lbComParity_Click();
    void lbComStop_Click();
    void lbComRTS_Click();
    void lbComDTR_Click();
    void lbComCTS_Click();

    // ---- images/record_readers.cpp ----
    void readBootHexRecord(std::string line);
    void readBootSRecord(std::string line);
    void readUserHexRecord(std::string line);
    void readUserSRecord(std::string line);

    // ---- images/boot_loader.cpp ----
    void clearBootImage();
    int32_t loadBootProgram(const std::string& fileName);

    // ---- images/user_loader.cpp ----
    void loadUserProgram(const std::string& line);
    int32_t userBufferCount() const;
    // Sets errorCode to 0, then fills the user buffer from the open user program file until
    // it holds more than one block or the file is used up; 1 with errorCode set on a bad line
    // (5, 6, 9), or with code 11 when the buffer is still empty after the fill (a file with
    // no data at all; only the first fill of a transfer can find that), else 0.
    int32_t fillUserBuffer();
    // blockAddress = the address at UBrp with its low 7 bits cleared; 1 with code 43 when it
    // lies above H'7F80 (or below 0), else 0 with errorCode untouched. Needs a non-empty
    // buffer, which a fill that returned 0 leaves.
    int32_t takeBlockAddress();
    // Fills blockBuffer[0..127] for blockAddress from the user buffer, H'FF where the head
    // entry is not the next address; true when the buffer ran empty during this block.
    bool fillBlockBuffer();
    // Builds blockPacket from blockAddress and blockBuffer.
    void buildBlockPacket();

    // ---- images/file_choice.cpp ----
    std::string askFileName();
    void chooseBootFile();
    void chooseUserFile();
    void HexFileN_Change();
    void BootFileN_Change();

    // ---- flash/link.cpp ----
    void clearReceiveBuffer();
    void waitMs(int32_t milliseconds);
    void Timer3_Timer();
    void Timer4_Timer();
    uint8_t readByte(int32_t timeoutMs);
    // The time-out for an answer of answerMs to the charsWritten characters just written, at
    // the line's current settings (flash/answer_time.h).
    int32_t afterSending(int32_t answerMs, int64_t charsWritten) const;
    void waitPrompt(int32_t timeoutMs);
    bool testH8Power();
    void resetH8();
    void nmiToH8();
    void comBreakPulse();
    void resetToBootMode();
    void resetToUserMode();
    bool fileExists(const std::string& fileName);

    // ---- flash/boot_transfer.cpp ----
    int32_t runWriteSequence();
    int32_t matchBitRate();
    int32_t confirmErase();
    int32_t sendBootLength(const int32_t& length);

    // ---- flash/write_driver.cpp ----
    void writeFlash();

    // ---- terminal/receive.cpp ----
    void MSComm1_CommEvent(CommEvent kind);

    // ---- terminal/keyboard.cpp ----
    // keyCode is a Windows virtual-key code; shift is non-zero while Shift, Ctrl or Alt is
    // held. keyCode is 0 on return.
    void Form_KeyDown(int16_t& keyCode, int16_t& shift);
    // focusInFileField: the control with the focus is HexFileN or BootFileN.
    void Form_KeyPress(int16_t& keyAscii, bool focusInFileField);

    // ---- terminal/help.cpp ----
    void showHelp();

    const Form1Controls& controls() const { return *this; }

  private:
    // ---- shell/console_modes.cpp ----
    void startConsoleLine();
    // ---- flash/kernel_protocol.cpp: the second half of runWriteSequence ----
    int32_t runKernelTransfer(std::string& errorText);
    // waitPrompt for a block's answer, deaf to what comes before the record is out.
    void waitBlockAnswer();
    // ---- flash/link.cpp ----
    void armDelayTimer();
    // ---- flash/write_driver.cpp ----
    int32_t failureExit(std::string& errorText);

    std::string commandLine_;

    // The byte that came instead of the start answer; its failure report names it.
    uint8_t startAnswer_ = 0;
    // A port problem found before the first tick's screen reset, shown after it.
    std::string pendingPortMessage_;
    // Deadlines of the delays in progress: a delay started inside another one's yield ends
    // on its own time, not on the other's.
    std::vector<int64_t> delayDeadlinesNs_;
};

}  // namespace quill
