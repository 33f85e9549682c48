#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "platform/console.h"

namespace quill::cli {

// The console as a stream of lines: every text the program inserts also goes out, with each
// CR LF as one newline (and, as the window shows them, a lone CR or LF too). A line goes out whole
// when it ends, so that nothing else (the progress line on standard error) lands in the middle of
// it.
class StreamConsole : public Console {
  public:
    // `out` receives the lines; with `quiet` only the report lines: a failure's report (the
    // line with " ? [code ]", and "Record: " before it) and the final result line.
    StreamConsole(std::FILE* out, bool quiet) : out_(out), quiet_(quiet) {}

    // Only text inserted while streaming goes out: the write's log, not the terminal traffic
    // around it.
    void setStreaming(bool on) { streaming_ = on; }
    // Runs before each line goes out (the progress meter clears its line there).
    void setBeforeLine(std::function<void()> hook) { beforeLine_ = std::move(hook); }
    // Sends a pending partial line, as a line of its own.
    void finish();

    static bool isReportLine(std::string_view line);

    void insertAtCaret(std::string_view s) override;
    std::string text() const override { return model_.text(); }
    void replaceText(std::string_view s) override;
    size_t caret() const override { return model_.caret(); }
    void setCaret(size_t position) override { model_.setCaret(position); }
    void setFocus() override {}
    void setTextColor(Color color) override { color_ = color; }
    Color textColor() const override { return color_; }

  private:
    void feed(std::string_view s);
    void emitLine();

    std::FILE* out_;
    bool quiet_;
    std::function<void()> beforeLine_;
    // The window's idea of the text, for the operations that read it back.
    ConsoleModel model_;
    Color color_;
    std::string pending_;
    bool streaming_ = false;
    bool afterCr_ = false;  // the last character was a CR: an LF now completes its pair
};

}  // namespace quill::cli
