#include "cli/progress_meter.h"

#include <cctype>
#include <charconv>

namespace quill::cli {

namespace {

int percent(int sent, int total) {
    if (total <= 0) return 0;
    const int p = int(int64_t(sent) * 100 / total);
    return p > 100 ? 100 : p;
}

std::string hexAddress(int address) {
    char digits[8];
    auto end = std::to_chars(digits, digits + sizeof digits, unsigned(address), 16).ptr;
    std::string text = "H'";
    for (char* c = digits; c != end; ++c) text.push_back(char(std::toupper(*c)));
    return text;
}

}  // namespace

std::string ProgressMeter::bootText(int sent, int total) {
    return "boot program " + std::to_string(sent) + "/" + std::to_string(total) + " bytes " +
           std::to_string(percent(sent, total)) + "%";
}

std::string ProgressMeter::blockText(int sent, int total, int address) {
    std::string text = "user program " + std::to_string(sent);
    if (total > 0) text += "/" + std::to_string(total);
    text += " blocks";
    if (total > 0) text += " " + std::to_string(percent(sent, total)) + "%";
    return text + " at " + hexAddress(address);
}

void ProgressMeter::bootBytes(int sent, int total) {
    show(bootText(sent, total), sent == total);
}

void ProgressMeter::blocks(int sent, int total, int address) {
    show(blockText(sent, total, address), sent == total);
}

void ProgressMeter::show(const std::string& text, bool last) {
    const int64_t now = clock_.nowNs();
    if (!last && now - shownAtNs_ < kRedrawNs) return;
    shownAtNs_ = now;
    // \033[K wipes what a longer earlier text left to the right.
    std::fprintf(out_, "\r%s\033[K", text.c_str());
    std::fflush(out_);
    lineShown_ = true;
}

void ProgressMeter::clear() {
    if (!lineShown_) return;
    std::fputs("\r\033[K", out_);
    std::fflush(out_);
    lineShown_ = false;
    // The next figure is drawn at once, not a redraw interval later.
    shownAtNs_ = -kRedrawNs;
}

void ProgressButton::setCaption(const std::string& caption) {
    caption_ = caption;
    if (caption.empty() || caption == "Write") {
        blocksSent_ = 0;
        return;
    }
    if (caption[0] == ' ') {
        int index = 0;
        std::from_chars(caption.data() + 1, caption.data() + caption.size(), index);
        if (meter_) meter_->bootBytes(index + 1, bootTotal_());
        return;
    }
    int address = 0;
    std::from_chars(caption.data(), caption.data() + caption.size(), address, 16);
    ++blocksSent_;
    if (meter_) meter_->blocks(blocksSent_, blockTotal_, address);
}

}  // namespace quill::cli
