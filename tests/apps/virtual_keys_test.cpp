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
    // The keys the desktop tests press already go through the window; these are the rest.
    const KeyCase cases[] = {
        {Qt::Key_Z, shift, 90},
        {Qt::Key_ParenRight, shift, 48},
        {Qt::Key_At, shift, 50},
        {Qt::Key_Asterisk, keypad, 106},
        {Qt::Key_Plus, keypad, 107},
        {Qt::Key_Period, keypad, 110},
        {Qt::Key_Enter, keypad, 13},
        {Qt::Key_Equal, none, 187},
        {Qt::Key_Underscore, shift, 189},
        {Qt::Key_Question, shift, 191},
        {Qt::Key_QuoteLeft, none, 192},
        {Qt::Key_Bar, shift, 220},
        {Qt::Key_BracketRight, none, 221},
        {Qt::Key_QuoteDbl, shift, 222},
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
