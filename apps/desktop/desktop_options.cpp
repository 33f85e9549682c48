#include "desktop/desktop_options.h"

#include <string_view>

#include "common/program_info.h"

namespace quill::app {

namespace {

const char* const kHelp =
    "Usage: quillmont [BOOTFILE USERFILE]\n"
    "The Quillmont window: writes USERFILE into the flash ROM of an H8/3694 through its\n"
    "serial boot mode, with BOOTFILE as the flash-writing kernel, and is a serial terminal to\n"
    "the board between writes. Both are S-record or Intel HEX files; they can also be chosen\n"
    "in the window. The command line is split at every single space, so a path with a blank\n"
    "in it is chosen in the window instead. F1 in the window shows its keys. Qt's own\n"
    "options, such as -platform NAME, are taken as well.\n"
    "\n"
    "Options:\n"
    "  -h, --help     Shows this help.\n"
    "  -v, --version  Shows the version.\n"
    "\n"
    "Environment:\n"
    "  QUILLMONT_PORT  The serial device (/dev/ttyUSB0, COM3), or sim for the virtual\n"
    "                  board. Default: the first serial port.\n"
    "  QUILLMONT_SIM   The virtual board's options, NAME[=VALUE] separated by commas\n"
    "                  (quillmont-cli --list-sim-options lists them).\n";

}  // namespace

std::optional<std::string> answerWithoutWindow(int argc, char** argv) {
    if (argc != 2) return std::nullopt;
    const std::string_view word = argv[1];
    if (word == "--help" || word == "-h") return kHelp;
    if (word == "--version" || word == "-v") return versionLine("quillmont");
    return std::nullopt;
}

}  // namespace quill::app
