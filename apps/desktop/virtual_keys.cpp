#include "desktop/virtual_keys.h"

#include <QKeyEvent>
#include <array>

namespace quill::app {

namespace {

struct KeyCode {
    int qtKey;
    int16_t code;
};

// Keys whose code does not follow from their character. Qt names a key by the character it
// types with the modifiers held, so both characters of a US key map to its one code.
constexpr std::array kKeyTable = {
    // shifted digits: the digit key's code
    KeyCode{Qt::Key_Exclam, 49},
    KeyCode{Qt::Key_At, 50},
    KeyCode{Qt::Key_NumberSign, 51},
    KeyCode{Qt::Key_Dollar, 52},
    KeyCode{Qt::Key_Percent, 53},
    KeyCode{Qt::Key_AsciiCircum, 54},
    KeyCode{Qt::Key_Ampersand, 55},
    KeyCode{Qt::Key_Asterisk, 56},
    KeyCode{Qt::Key_ParenLeft, 57},
    KeyCode{Qt::Key_ParenRight, 48},
    // punctuation: VK_OEM_1 .. VK_OEM_7
    KeyCode{Qt::Key_Semicolon, 186},
    KeyCode{Qt::Key_Colon, 186},
    KeyCode{Qt::Key_Equal, 187},
    KeyCode{Qt::Key_Plus, 187},
    KeyCode{Qt::Key_Comma, 188},
    KeyCode{Qt::Key_Less, 188},
    KeyCode{Qt::Key_Minus, 189},
    KeyCode{Qt::Key_Underscore, 189},
    KeyCode{Qt::Key_Period, 190},
    KeyCode{Qt::Key_Greater, 190},
    KeyCode{Qt::Key_Slash, 191},
    KeyCode{Qt::Key_Question, 191},
    KeyCode{Qt::Key_QuoteLeft, 192},
    KeyCode{Qt::Key_AsciiTilde, 192},
    KeyCode{Qt::Key_BracketLeft, 219},
    KeyCode{Qt::Key_BraceLeft, 219},
    KeyCode{Qt::Key_Backslash, 220},
    KeyCode{Qt::Key_Bar, 220},
    KeyCode{Qt::Key_BracketRight, 221},
    KeyCode{Qt::Key_BraceRight, 221},
    KeyCode{Qt::Key_Apostrophe, 222},
    KeyCode{Qt::Key_QuoteDbl, 222},
    // editing and movement
    KeyCode{Qt::Key_Backspace, 8},
    KeyCode{Qt::Key_Tab, 9},
    KeyCode{Qt::Key_Backtab, 9},
    KeyCode{Qt::Key_Return, 13},
    KeyCode{Qt::Key_Enter, 13},
    KeyCode{Qt::Key_Shift, 16},
    KeyCode{Qt::Key_Control, 17},
    KeyCode{Qt::Key_Alt, 18},
    KeyCode{Qt::Key_Escape, 27},
    KeyCode{Qt::Key_Space, 32},
    KeyCode{Qt::Key_PageUp, 33},
    KeyCode{Qt::Key_PageDown, 34},
    KeyCode{Qt::Key_End, 35},
    KeyCode{Qt::Key_Home, 36},
    KeyCode{Qt::Key_Left, 37},
    KeyCode{Qt::Key_Up, 38},
    KeyCode{Qt::Key_Right, 39},
    KeyCode{Qt::Key_Down, 40},
    KeyCode{Qt::Key_Insert, 45},
    KeyCode{Qt::Key_Delete, 46},
};

// The keypad keys, told apart by Qt's keypad modifier.
constexpr std::array kKeypadTable = {
    KeyCode{Qt::Key_Asterisk, 106}, KeyCode{Qt::Key_Plus, 107},   KeyCode{Qt::Key_Comma, 108},
    KeyCode{Qt::Key_Minus, 109},    KeyCode{Qt::Key_Period, 110}, KeyCode{Qt::Key_Slash, 111},
    KeyCode{Qt::Key_Enter, 13},
};

// The extra key of ISO keyboards between the left Shift and Z ("<>", "\|" or "\_"): the X11
// key code 94.
constexpr quint32 kIsoKeyX11 = 94;

int16_t lookUp(const auto& table, int qtKey) {
    for (const KeyCode& k : table)
        if (k.qtKey == qtKey) return k.code;
    return 0;
}

}  // namespace

int16_t virtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers, quint32 nativeScanCode) {
    if (nativeScanCode == kIsoKeyX11) return 226;
    if (modifiers & Qt::KeypadModifier) {
        if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return int16_t(96 + (qtKey - Qt::Key_0));
        if (int16_t code = lookUp(kKeypadTable, qtKey)) return code;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return int16_t(qtKey);  // 65..90, as Windows
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return int16_t(qtKey);  // 48..57
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12) return int16_t(112 + (qtKey - Qt::Key_F1));
    return lookUp(kKeyTable, qtKey);
}

int16_t virtualKeyCode(const QKeyEvent& event) {
#ifdef Q_OS_WIN
    return int16_t(event.nativeVirtualKey());
#else
    return virtualKeyCode(event.key(), event.modifiers(), event.nativeScanCode());
#endif
}

int16_t shiftState(Qt::KeyboardModifiers modifiers) {
    int16_t state = 0;
    if (modifiers & Qt::ShiftModifier) state |= 1;
    if (modifiers & Qt::ControlModifier) state |= 2;
    if (modifiers & Qt::AltModifier) state |= 4;
    return state;
}

}  // namespace quill::app
