#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/line_settings.h"
#include "platform/virtual/virtual_serial_port.h"

namespace quill::sim {

// The environment variable that carries board options to the programs.
inline constexpr const char* kBoardOptionsVariable = "QUILLMONT_SIM";

// How the virtual board behaves: a healthy 20 MHz board by default, with faults switched on
// by name. Every field is set by one option of parseBoardOptions.
struct BoardOptions {
    enum class EraseAnswer { Normal, Byte, Silent, Double };
    enum class LengthEcho { Normal, Wrong, Short };
    enum class EchoFault { Wrong, Silent };
    enum class StartAnswer { Normal, Byte, Silent };
    enum class Prompt { Normal, Silent, Late };

    int eraseTimeMs = 1000;                // erase-time=MS
    int programTimeMs = 3;                 // program-time=MS (per block)
    std::vector<int> speeds{19200, 9600};  // speeds=S[,S...]: the rates the boot ROM can match
    int matchCount = 3;                    // match-count=N: H'00 bytes it needs before it answers
    bool unpowered = false;                // unpowered
    bool matchSilent = false;              // match-silent
    std::optional<uint8_t> matchByte;      // match-byte=HH (first match only)
    EraseAnswer erase = EraseAnswer::Normal;  // erase=ff|HH|silent|double
    uint8_t eraseByte = 0;
    LengthEcho lengthEcho = LengthEcho::Normal;  // length-echo=wrong|short
    std::map<int, EchoFault> imageEcho;          // image-echo=I:wrong|I:silent (repeatable)
    StartAnswer start = StartAnswer::Normal;     // start=silent|HH
    uint8_t startByte = 0;
    Prompt prompt = Prompt::Normal;    // prompt=silent|late
    std::map<int, char> blockAnswer;   // block=K:C (repeatable)
    std::set<int> blockSilent;         // block-silent=K (repeatable)
    bool chatter = false;              // chatter: the first answer drowns in 300 characters
    bool lineErrorErase = false;       // line-error=erase
    std::set<int> lineErrorBlocks;     // line-error=block:K (repeatable)
    std::optional<int> powerOffBlock;  // power-off=block:K
    // port-lost=MS|erase|block:K: the host's serial device goes away (a pulled-out adapter)
    // MS after the board starts, halfway through the erase, or as block K is answered; it is
    // back port-back=MS later.
    struct PortLoss {
        enum class When { Time, Erase, Block };
        When when = When::Time;
        int value = 0;  // MS or K
    };
    std::optional<PortLoss> portLost;
    int portBackMs = 2000;
    // user-line=SPEED[:P:D:S]: the user program's line settings; unset, it follows the rate
    // last matched in boot mode.
    std::optional<LineSettings> userLine;
    std::map<uint16_t, uint8_t> stuckCells;  // stuck=AAAA:HH (repeatable): erase leaves HH there
    // adapter-latency=MS[:fixed]: a USB-serial adapter on the cable with that latency timer;
    // fixed: its driver has no low-latency mode.
    std::optional<VirtualSerialPort::UsbAdapter> adapter;
    // kernel=run|model: what runs after the boot ROM's start answer: the received program on
    // the emulated CPU, or the stand-in that answers block records without running anything.
    enum class Kernel { Model, Run };
    Kernel kernel = Kernel::Run;
    int64_t clockHz = 20'000'000;  // clock=MHZ: the chip's system clock (kernel=run)
    int minPulses = 1;             // flash-pulses=MIN:MAX: the P pulses a flash cell needs,
    int maxPulses = 3;             // spread over the cells (kernel=run)
};

// Every option name, in the order of the README's table; a name that takes a value ends in
// "=".
inline constexpr std::string_view kBoardOptionNames[] = {
    "erase-time=",  "program-time=",    "speeds=",    "match-count=",  "unpowered",
    "match-silent", "match-byte=",      "erase=",     "length-echo=",  "image-echo=",
    "start=",       "prompt=",          "block=",     "block-silent=", "chatter",
    "line-error=",  "power-off=",       "user-line=", "stuck=",        "port-lost=",
    "port-back=",   "adapter-latency=", "kernel=",    "clock=",        "flash-pulses="};

struct BoardOptionsResult {
    BoardOptions options;
    std::string error;  // empty when every option was understood
    bool ok() const { return error.empty(); }
};

// Reads a comma-separated list of NAME[=VALUE] options on top of `base`. A bare number right
// after a speeds option continues its list, so "speeds=9600,2400,chatter" sets two speeds.
// A later single-valued option overrides an earlier one; the repeatable ones add up. An
// unknown name or a malformed value gives an error naming it, and `base` unchanged.
BoardOptionsResult parseBoardOptions(std::string_view text, const BoardOptions& base = {});

}  // namespace quill::sim
