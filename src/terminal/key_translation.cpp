#include "terminal/key_translation.h"

namespace quill {

int16_t translateKeyCode(int16_t k, bool modifierHeld) {
    if (k >= 96 && k <= 105) return int16_t(k - 48);   // keypad 0..9
    if (k >= 106 && k <= 111) return int16_t(k - 64);  // keypad * + , - . /
    if (k >= 186 && k <= 191) return int16_t(modifierHeld ? k - 144 : k - 128);
    if (k == 192) return '@';
    if (k >= 219 && k <= 222) return int16_t(modifierHeld ? k - 96 : k - 128);
    if (k == 226) return modifierHeld ? '_' : '\\';
    return k;
}

}  // namespace quill
