#pragma once

#include <cstdint>

namespace quill {

// The code a key stands for before any command is looked up: keypad keys become their
// characters, and the punctuation keys become the characters of a Japanese keyboard's
// layout, another with a modifier held. Other codes stay as they are.
int16_t translateKeyCode(int16_t keyCode, bool modifierHeld);

}  // namespace quill
