#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/controls.h"
#include "platform/scheduler.h"

namespace quill::cli {

// One status line on a terminal, redrawn in place.
class ProgressMeter {
  public:
    // Redraws closer together than this are skipped: a terminal needs no more, and the write
    // must not spend its time drawing.
    static constexpr int64_t kRedrawNs = 100 * kNsPerMs;

    ProgressMeter(std::FILE* out, const Clock& clock) : out_(out), clock_(clock) {}

    // `sent` of `total` boot program bytes are out.
    void bootBytes(int sent, int total);
    // `sent` blocks are out, the last at `address`; `total` is -1 when unknown.
    void blocks(int sent, int total, int address);
    // Wipes the line, so that other output starts at its left edge.
    void clear();

    static std::string bootText(int sent, int total);
    static std::string blockText(int sent, int total, int address);

  private:
    void show(const std::string& text, bool last);

    std::FILE* out_;
    const Clock& clock_;
    int64_t shownAtNs_ = -kRedrawNs;
    bool lineShown_ = false;
};

// cbWrite of the command-line program: no face, but its captions are the write's progress.
// The write driver shows " i" (a leading blank, decimal) before boot program byte i, the block
// address in hexadecimal before each block, and "Write" at the end.
class ProgressButton : public Button {
  public:
    // `meter` may be null (no terminal): the captions are then only kept.
    ProgressButton(ProgressMeter* meter, std::function<int()> bootTotal)
        : meter_(meter), bootTotal_(std::move(bootTotal)) {}
    void setBlockTotal(int total) { blockTotal_ = total; }
    int blocksSent() const { return blocksSent_; }

    void setCaption(const std::string& caption) override;
    std::string caption() const override { return caption_; }
    void setBackColor(Color color) override { back_ = color; }
    Color backColor() const override { return back_; }

  private:
    ProgressMeter* meter_;
    std::function<int()> bootTotal_;
    int blockTotal_ = -1;
    int blocksSent_ = 0;
    std::string caption_;
    Color back_ = Color::of(Color::System::ButtonFace);
};

}  // namespace quill::cli
