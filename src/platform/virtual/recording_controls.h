#pragma once

// Stand-ins for the window's controls that remember what the program did to them, for tests
// and for the command-line program.

#include <deque>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/controls.h"
#include "platform/text_file.h"

namespace quill {

class RecordingLabel : public Label {
  public:
    void setCaption(const std::string& caption) override { caption_ = caption; }
    std::string caption() const override { return caption_; }
    void setBackColor(Color color) override { back_ = color; }
    Color backColor() const override { return back_; }
    void setForeColor(Color color) override { fore_ = color; }
    Color foreColor() const override { return fore_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }
    bool enabled() const override { return enabled_; }

  private:
    std::string caption_;
    Color back_;
    Color fore_;
    bool enabled_ = true;
};

class RecordingButton : public Button {
  public:
    void setCaption(const std::string& caption) override {
        caption_ = caption;
        captions.push_back(caption);
    }
    std::string caption() const override { return caption_; }
    void setBackColor(Color color) override {
        back_ = color;
        colors.push_back(color);
    }
    Color backColor() const override { return back_; }

    std::vector<std::string> captions;  // every caption set, in order
    std::vector<Color> colors;          // every colour set, in order

  private:
    std::string caption_;
    Color back_ = Color::of(Color::System::ButtonFace);
};

class RecordingTextField : public TextField {
  public:
    void setText(const std::string& text) override {
        text_ = text;
        changed();
    }
    std::string text() const override { return text_; }
    bool hasFocus() const override { return focused; }
    // The user types one more character at the end.
    void type(char c) {
        text_.push_back(c);
        changed();
    }
    bool focused = false;

  private:
    std::string text_;
};

class RecordingConsole : public Console {
  public:
    void insertAtCaret(std::string_view s) override { model_.insertAtCaret(s); }
    std::string text() const override { return model_.text(); }
    void replaceText(std::string_view s) override { model_.replaceText(s); }
    size_t caret() const override { return model_.caret(); }
    void setCaret(size_t position) override { model_.setCaret(position); }
    void setFocus() override { ++focusCount; }
    void setTextColor(Color color) override { color_ = color; }
    Color textColor() const override { return color_; }
    ConsoleModel& model() { return model_; }
    int focusCount = 0;

  private:
    ConsoleModel model_;
    Color color_;
};

// Answers each showOpen with the next of `answers` ("" is a cancel).
class ScriptedFileDialog : public FileDialog {
  public:
    void setFileName(const std::string& name) override {
        name_ = name;
        namesOnOpen.push_back(name);
    }
    void showOpen() override {
        ++shown;
        if (answers.empty()) throw std::logic_error("file dialog opened with no answer scripted");
        name_ = answers.front();
        answers.pop_front();
    }
    std::string fileName() const override { return name_; }
    std::deque<std::string> answers;
    std::vector<std::string> namesOnOpen;
    int shown = 0;

  private:
    std::string name_;
};

class RecordingMessageBox : public MessageBox {
  public:
    struct Shown {
        std::string text;
        std::string title;
    };
    void show(const std::string& text, const std::string& title) override {
        shown.push_back({text, title});
    }
    std::vector<Shown> shown;
};

class CountingBeeper : public Beeper {
  public:
    void beep() override { ++beeps; }
    int beeps = 0;
};

// Thrown by ProgramEndThrows: ending the program unwinds whatever was running.
struct ProgramEnded {};

class ProgramEndThrows : public ProgramEnd {
  public:
    [[noreturn]] void endProgram() override {
        ended = true;
        throw ProgramEnded{};
    }
    bool ended = false;
};

class RecordingHelpWindow : public HelpWindow {
  public:
    void showText(const std::string& text) override {
        text_ = text;
        open_ = true;
        ++shown;
    }
    bool isOpen() const override { return open_; }
    void typeCharacter() { open_ = false; }
    const std::string& text() const { return text_; }
    int shown = 0;

  private:
    std::string text_;
    bool open_ = false;
};

// The disk slot, but a test can make it refuse chosen paths (as a locked or vanished file
// would) while the files themselves exist.
class RefusingTextFileSlot : public DiskTextFileSlot {
  public:
    bool open(const std::string& path) override {
        ++opens;
        if (refused.count(path) || (refuseAfterOpens >= 0 && opens > refuseAfterOpens))
            return false;
        return DiskTextFileSlot::open(path);
    }
    std::set<std::string> refused;
    int refuseAfterOpens = -1;  // refuse every open after this many (-1: never)
    int opens = 0;
};

}  // namespace quill
