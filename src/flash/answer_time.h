#pragma once

#include <cstdint>

#include "platform/line_settings.h"

namespace quill {

// The time-out of a response wait that starts right after a write. The port's write returns
// while the characters are still on the wire, so the answer time (what the chip or the kernel
// is given to answer) counts only from the moment the last of them has left: at 2400 bit/s a
// 137-byte block record alone takes 571 ms, more than the kernel's whole 300 ms.
int32_t answerTimeoutMs(int32_t answerMs, const LineSettings& line, int64_t charsWritten);

}  // namespace quill
