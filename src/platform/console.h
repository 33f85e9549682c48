#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/color.h"

namespace quill {

// The text of the console as the program sees it: characters with CR LF line ends, a caret
// and a selection. Each character is one byte of the text; positions count from 0. The
// widget that shows it may draw line ends its own way, but every rule about positions and
// lengths works on this model.
class ConsoleModel {
  public:
    const std::string& text() const { return text_; }
    size_t length() const { return text_.size(); }
    size_t caret() const { return caret_; }
    size_t selectionLength() const { return selectionLength_; }

    // Inserts at the caret, replacing the selection; the caret then stands behind the text.
    void insertAtCaret(std::string_view s);
    // Replaces the whole text; the caret goes to the start.
    void replaceText(std::string_view s);
    // Moves the caret (clamped to the text) and drops the selection.
    void setCaret(size_t position);
    void select(size_t start, size_t length);

  private:
    std::string text_;
    size_t caret_ = 0;
    size_t selectionLength_ = 0;
};

// The console text area: the program's only output.
class Console {
  public:
    virtual ~Console() = default;
    virtual void insertAtCaret(std::string_view s) = 0;
    virtual std::string text() const = 0;
    virtual void replaceText(std::string_view s) = 0;
    virtual size_t caret() const = 0;
    virtual void setCaret(size_t position) = 0;
    virtual void setFocus() = 0;
    virtual void setTextColor(Color color) = 0;
    virtual Color textColor() const = 0;
};

}  // namespace quill
