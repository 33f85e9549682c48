#include "flash/answer_time.h"

#include "platform/scheduler.h"

namespace quill {

int32_t answerTimeoutMs(int32_t answerMs, const LineSettings& line, int64_t charsWritten) {
    const int64_t onWireNs = charsWritten * line.charTimeNs();
    // A timer counts whole milliseconds; round up so that the answer never loses time.
    return answerMs + int32_t((onWireNs + kNsPerMs - 1) / kNsPerMs);
}

}  // namespace quill
