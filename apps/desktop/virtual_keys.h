#pragma once

#include <Qt>
#include <cstdint>

class QKeyEvent;

namespace quill::app {

// The Windows virtual-key code of a key, which the keyboard commands are written in: on
// Windows the key's own native code; elsewhere the code the same key has on a US keyboard.
// 0 for a key that has none (a dead key, a multimedia key).
int16_t virtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers, quint32 nativeScanCode);
int16_t virtualKeyCode(const QKeyEvent& event);

// The modifier state of the keyboard commands: non-zero while Shift, Ctrl or Alt is held.
int16_t shiftState(Qt::KeyboardModifiers modifiers);

}  // namespace quill::app
