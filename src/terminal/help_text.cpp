#include "terminal/help_text.h"

#include <array>

namespace quill {

const std::string& helpText() {
    // The fixed pitch of the help window lines up the colons of the key column.
    static const std::string text = [] {
        const std::array<const char*, 20> lines = {
            "--- Quillmont --- 2005.11.20",
            "",
            " W   : Write H8 Flash ROM",
            " ESC : Quit",
            " F1  : Help",
            " F2  : COM Display Mode  Normal / Hex",
            " F3  : COM Display NewLine  CR / CRLF",
            " F4  : COM Display HexMode_CR  ON / OFF ",
            " F5  : COM Speed  300 - 38400",
            " F6  : COM DataBit  5 - 8",
            " F7  : COM Parity  None, Even, Odd",
            " F8  : COM StopBit  1, 2",
            " F9  : COM LocalEcho  ON / OFF ",
            " F10 : COM Diplay Line Level",
            " F11 : COM DTR:OFF(300mS)  Reset H8",
            " F12 : COM make Log-File",
            " Shift + F11 : COM Break:ON(300mS)",
            " Shift + F12 : COM RTS:OFF(300mS)",
            "",
            "       Hit any Key to close Help.",
        };
        std::string all;
        for (const char* line : lines) {
            all += line;
            all += "\r\n";
        }
        return all;
    }();
    return text;
}

}  // namespace quill
