#pragma once

#include <functional>
#include <string>

#include "platform/color.h"

namespace quill {

// A caption with colours that reports a click (the line labels and the power indicator).
class Label {
  public:
    virtual ~Label() = default;
    virtual void setCaption(const std::string& caption) = 0;
    virtual std::string caption() const = 0;
    virtual void setBackColor(Color color) = 0;
    virtual Color backColor() const = 0;
    virtual void setForeColor(Color color) = 0;
    virtual Color foreColor() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
};

class Button {
  public:
    virtual ~Button() = default;
    virtual void setCaption(const std::string& caption) = 0;
    virtual std::string caption() const = 0;
    virtual void setBackColor(Color color) = 0;
    virtual Color backColor() const = 0;
};

// A one-line text field. Its change handler runs on every change of the text, whether the
// user typed it or the program set it.
class TextField {
  public:
    virtual ~TextField() = default;
    virtual void setText(const std::string& text) = 0;
    virtual std::string text() const = 0;
    virtual bool hasFocus() const = 0;
    void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }

  protected:
    void changed() {
        if (changed_) changed_();
    }

  private:
    std::function<void()> changed_;
};

// The modal file-open dialog.
class FileDialog {
  public:
    virtual ~FileDialog() = default;
    virtual void setFileName(const std::string& name) = 0;
    // Shows the dialog and returns when the user has confirmed or cancelled.
    virtual void showOpen() = 0;
    // The chosen full path; empty after a cancel.
    virtual std::string fileName() const = 0;
};

class MessageBox {
  public:
    virtual ~MessageBox() = default;
    // A message with a single OK button; returns when the user has closed it.
    virtual void show(const std::string& text, const std::string& title) = 0;
};

class Beeper {
  public:
    virtual ~Beeper() = default;
    virtual void beep() = 0;
};

class ProgramEnd {
  public:
    virtual ~ProgramEnd() = default;
    // Closes every window and ends the program at once: no further event is handled.
    [[noreturn]] virtual void endProgram() = 0;
};

// The help window: shown modeless with a text; it closes and discards itself on any typed
// character.
class HelpWindow {
  public:
    virtual ~HelpWindow() = default;
    virtual void showText(const std::string& text) = 0;
    virtual bool isOpen() const = 0;
};

}  // namespace quill
