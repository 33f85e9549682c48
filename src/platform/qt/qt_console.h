#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console.h"

namespace quill {

// Where the console model's CR LF pairs stand, so that model positions (a CR LF is two
// characters) and widget positions (it is one line break) map both ways in log time. A lone
// CR or LF is one character on both sides.
class ConsoleLineBreaks {
  public:
    void rebuild(std::string_view text);
    // The model text changed from [a, oldEnd) to [a, newEnd) (text is the new whole text),
    // where no CR LF pair straddles a or oldEnd before the change, nor a or newEnd after it.
    void replaced(size_t a, size_t oldEnd, size_t newEnd, std::string_view text);
    // A position between the CR and the LF of a pair maps to the widget position after it.
    size_t toWidget(size_t modelPosition) const;
    size_t toModel(size_t widgetPosition) const;
    size_t pairs() const { return crs_.size(); }

  private:
    std::vector<size_t> crs_;  // model index of the CR of every pair, ascending
};

// How the widget shows a stretch of model text: each CR LF pair, lone CR and lone LF as one
// line break, control characters as their visible symbols, other bytes as Latin-1.
QString consoleWidgetText(std::string_view modelText);

// The console on a QPlainTextEdit (which the caller owns and places). The model is the truth
// for text, caret and selection; the widget shows it, and a click or selection of the user
// in the widget moves the model's caret.
class QtConsole : public Console {
  public:
    explicit QtConsole(QPlainTextEdit* edit);
    ~QtConsole() override;
    QtConsole(const QtConsole&) = delete;
    QtConsole& operator=(const QtConsole&) = delete;

    void insertAtCaret(std::string_view s) override;
    std::string text() const override { return model_.text(); }
    void replaceText(std::string_view s) override;
    size_t caret() const override { return model_.caret(); }
    void setCaret(size_t position) override;
    void setFocus() override;
    void setTextColor(Color color) override;
    Color textColor() const override { return color_; }

    const ConsoleModel& model() const { return model_; }
    QPlainTextEdit* widget() const { return edit_; }

  private:
    void showCaret();
    void takeCaretFromWidget();

    QPlainTextEdit* edit_;
    QMetaObject::Connection cursorMoved_, selectionMoved_;
    ConsoleModel model_;
    ConsoleLineBreaks breaks_;
    Color color_ = Color::hex(0x000000);
    bool updating_ = false;  // the widget's cursor moves because the model told it to
};

}  // namespace quill
