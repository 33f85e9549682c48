#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console.h"

namespace quill {

// Where the console model (bytes of UTF-8) and the widget (UTF-16 units) differ in length, so
// that positions map both ways in log time: a CR LF pair is two bytes and one line break, a
// character of several UTF-8 bytes is one unit (two beyond U+FFFF). Everything else is one
// to one: a lone CR or LF, and a byte that starts no UTF-8 character (shown as Latin-1).
class ConsolePositions {
  public:
    void rebuild(std::string_view text);
    // The model text changed from [a, oldEnd) to [a, newEnd) (text is the new whole text),
    // where a and oldEnd were character boundaries before the change, and a and newEnd are
    // after it.
    void replaced(size_t a, size_t oldEnd, size_t newEnd, std::string_view text);
    // A position inside a pair or a character maps to the position after it.
    size_t toWidget(size_t modelPosition) const;
    size_t toModel(size_t widgetPosition) const;
    // The character boundary at or before / at or after a model position.
    size_t boundaryBefore(size_t modelPosition) const;
    size_t boundaryAfter(size_t modelPosition) const;

  private:
    struct Join {
        size_t at;         // model index of its first byte
        uint8_t bytes;     // its length in the model
        uint8_t units;     // its length in the widget
        size_t shrinkSum;  // bytes - units of this join and all before it
    };
    static void scan(std::string_view text, size_t from, size_t to, std::vector<Join>& out);
    // The first join that starts at or after a model position.
    std::vector<Join>::const_iterator firstFrom(size_t modelPosition) const;
    std::vector<Join> joins_;
};

// How the widget shows a stretch of model text: each CR LF pair, lone CR and lone LF as one
// line break, control characters as their visible symbols, UTF-8 characters as themselves,
// any other byte as Latin-1.
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
    const ConsolePositions& positions() const { return positions_; }
    QPlainTextEdit* widget() const { return edit_; }

  private:
    void showCaret();
    void takeCaretFromWidget();

    QPlainTextEdit* edit_;
    QMetaObject::Connection cursorMoved_, selectionMoved_;
    ConsoleModel model_;
    ConsolePositions positions_;
    Color color_ = Color::hex(0x000000);
    bool updating_ = false;  // the widget's cursor moves because the model told it to
};

}  // namespace quill
