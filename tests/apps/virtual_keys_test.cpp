#include "desktop/virtual_keys.h"

#include <gtest/gtest.h>

namespace quill::app {
namespace {

struct KeyCase {
    int qtKey;
    Qt::KeyboardModifiers modifiers;
    int16_t code;
};

TEST(VirtualKeys, EachKeyGetsTheCodeOfItsUsKey) {
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
    const Qt::KeyboardModifiers keypad = Qt::KeypadModifier;
    const KeyCase cases[] = {
        {Qt::Key_A, none, 65},
        {Qt::Key_Z, shift, 90},
        {Qt::Key_0, none, 48},
        {Qt::Key_Exclam, shift, 49},
        {Qt::Key_ParenRight, shift, 48},
        {Qt::Key_At, shift, 50},
        {Qt::Key_5, keypad, 101},
        {Qt::Key_Asterisk, keypad, 106},
        {Qt::Key_Plus, keypad, 107},
        {Qt::Key_Minus, keypad, 109},
        {Qt::Key_Period, keypad, 110},
        {Qt::Key_Slash, keypad, 111},
        {Qt::Key_Enter, keypad, 13},
        {Qt::Key_Return, none, 13},
        {Qt::Key_F1, none, 112},
        {Qt::Key_F12, shift, 123},
        {Qt::Key_Semicolon, none, 186},
        {Qt::Key_Colon, shift, 186},
        {Qt::Key_Equal, none, 187},
        {Qt::Key_Comma, none, 188},
        {Qt::Key_Less, shift, 188},
        {Qt::Key_Underscore, shift, 189},
        {Qt::Key_Question, shift, 191},
        {Qt::Key_QuoteLeft, none, 192},
        {Qt::Key_BraceLeft, shift, 219},
        {Qt::Key_Bar, shift, 220},
        {Qt::Key_BracketRight, none, 221},
        {Qt::Key_QuoteDbl, shift, 222},
        {Qt::Key_Left, none, 37},
        {Qt::Key_Up, none, 38},
        {Qt::Key_Right, none, 39},
        {Qt::Key_Down, none, 40},
        {Qt::Key_Home, none, 36},
        {Qt::Key_End, none, 35},
        {Qt::Key_PageUp, none, 33},
        {Qt::Key_PageDown, none, 34},
        {Qt::Key_Insert, none, 45},
        {Qt::Key_Delete, none, 46},
        {Qt::Key_Escape, none, 27},
        {Qt::Key_Space, none, 32},
        {Qt::Key_Backspace, none, 8},
        {Qt::Key_Tab, none, 9},
        {Qt::Key_VolumeUp, none, 0},
    };
    for (const KeyCase& c : cases)
        EXPECT_EQ(virtualKeyCode(c.qtKey, c.modifiers, 0), c.code) << std::hex << c.qtKey;
}

TEST(VirtualKeys, TheIsoKeyBesideLeftShiftIs226) {
    EXPECT_EQ(virtualKeyCode(Qt::Key_Less, Qt::NoModifier, 94), 226);
    EXPECT_EQ(virtualKeyCode(Qt::Key_Greater, Qt::ShiftModifier, 94), 226);
}

TEST(VirtualKeys, AnyOfShiftCtrlAltIsAModifier) {
    EXPECT_EQ(shiftState(Qt::NoModifier), 0);
    EXPECT_EQ(shiftState(Qt::KeypadModifier), 0);
    EXPECT_NE(shiftState(Qt::ShiftModifier), 0);
    EXPECT_NE(shiftState(Qt::ControlModifier), 0);
    EXPECT_NE(shiftState(Qt::AltModifier), 0);
}

}  // namespace
}  // namespace quill::app
