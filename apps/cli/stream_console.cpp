#include "cli/stream_console.h"

namespace quill::cli {

bool StreamConsole::isReportLine(std::string_view line) {
    return line.find(" ? [") != std::string_view::npos || line.starts_with("Record: ") ||
           line == "Flash write end ! (Success)" || line == " (Failure)";
}

void StreamConsole::insertAtCaret(std::string_view s) {
    model_.insertAtCaret(s);
    if (streaming_) feed(s);
}

void StreamConsole::replaceText(std::string_view s) {
    // Emptied, the window would wipe a partial line the user has already seen; a log keeps it.
    // Any other replacement (the terminal trimming its oldest text) keeps the tail of it.
    if (s.empty()) finish();
    model_.replaceText(s);
}

void StreamConsole::feed(std::string_view s) {
    for (char c : s) {
        const bool lfOfPair = afterCr_ && c == '\n';
        afterCr_ = c == '\r';
        if (lfOfPair) continue;
        if (c == '\r' || c == '\n') {
            emitLine();
        } else {
            pending_.push_back(c);
        }
    }
}

void StreamConsole::emitLine() {
    if (!quiet_ || isReportLine(pending_)) {
        if (beforeLine_) beforeLine_();
        std::fwrite(pending_.data(), 1, pending_.size(), out_);
        std::fputc('\n', out_);
        std::fflush(out_);
    }
    pending_.clear();
}

void StreamConsole::finish() {
    if (!pending_.empty()) emitLine();
}

}  // namespace quill::cli
