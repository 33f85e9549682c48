#include "platform/qt/qt_console.h"

#include <QTextCursor>
#include <algorithm>

#include "platform/qt/qt_controls.h"

namespace quill {

namespace {

bool pairAt(std::string_view text, size_t i) {
    return i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n';
}

// Sets a flag for the length of a scope, also when the scope is left by an exception.
class FlagScope {
  public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }

  private:
    bool& flag_;
};

}  // namespace

void ConsoleLineBreaks::rebuild(std::string_view text) {
    crs_.clear();
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (pairAt(text, i)) crs_.push_back(i++);
    }
}

void ConsoleLineBreaks::replaced(size_t a, size_t oldEnd, size_t newEnd, std::string_view text) {
    auto first = std::lower_bound(crs_.begin(), crs_.end(), a);
    auto last = std::lower_bound(first, crs_.end(), oldEnd);
    // The pairs behind the change move with it; usually there are none, as output goes to
    // the end.
    for (auto it = last; it != crs_.end(); ++it) *it = *it - oldEnd + newEnd;
    std::vector<size_t> found;
    for (size_t i = a; i + 1 < newEnd; ++i) {
        if (pairAt(text, i)) found.push_back(i++);
    }
    auto at = crs_.erase(first, last);
    crs_.insert(at, found.begin(), found.end());
}

size_t ConsoleLineBreaks::toWidget(size_t p) const {
    if (p < 2) return p;
    // Pairs whose LF lies before p, i.e. whose CR lies before p - 1.
    const size_t before = size_t(std::lower_bound(crs_.begin(), crs_.end(), p - 1) - crs_.begin());
    return p - before;
}

size_t ConsoleLineBreaks::toModel(size_t w) const {
    // The break of pair k is widget character crs_[k] - k; count the breaks before w.
    size_t lo = 0;
    size_t hi = crs_.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (crs_[mid] - mid < w) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return w + lo;
}

QString consoleWidgetText(std::string_view text) {
    QString shown;
    shown.reserve(qsizetype(text.size()));
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            shown.append(QChar(u'\n'));
            if (pairAt(text, i)) ++i;
        } else if (c == '\t') {
            shown.append(QChar(u'\t'));
        } else if (c < 0x20) {
            // QTextDocument would swallow or misread raw control characters (a form feed, a
            // NUL); their symbols keep one widget character per model character.
            shown.append(QChar(char16_t(0x2400 + c)));
        } else if (c == 0x7F) {
            shown.append(QChar(char16_t(0x2421)));
        } else {
            shown.append(QChar(char16_t(c)));
        }
    }
    return shown;
}

QtConsole::QtConsole(QPlainTextEdit* edit) : edit_(edit) {
    edit_->setReadOnly(true);
    // Read-only hides the caret unless the keyboard may select; the user sees where the next
    // output goes, and typed characters still never reach the text.
    edit_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    edit_->setUndoRedoEnabled(false);
    edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setTextColor(color_);
    cursorMoved_ = QObject::connect(edit_, &QPlainTextEdit::cursorPositionChanged, edit_,
                                    [this] { takeCaretFromWidget(); });
    selectionMoved_ = QObject::connect(edit_, &QPlainTextEdit::selectionChanged, edit_,
                                       [this] { takeCaretFromWidget(); });
    breaks_.rebuild(model_.text());
    edit_->setPlainText(consoleWidgetText(model_.text()));
}

// The widget may outlive the adapter by a moment (its parent deletes it later) and move its
// cursor while it goes.
QtConsole::~QtConsole() {
    QObject::disconnect(cursorMoved_);
    QObject::disconnect(selectionMoved_);
}

void QtConsole::insertAtCaret(std::string_view s) {
    const std::string& text = model_.text();
    const size_t caret = model_.caret();
    const size_t selected = model_.selectionLength();
    // Widen the changed stretch by a CR just before it or an LF just behind it: the change
    // can join such a character into a pair, or split a pair it belonged to.
    size_t a = caret;
    if (a > 0 && text[a - 1] == '\r') --a;
    size_t oldEnd = caret + selected;
    if (oldEnd < text.size() && text[oldEnd] == '\n') ++oldEnd;
    const size_t widgetFrom = breaks_.toWidget(a);
    const size_t widgetTo = breaks_.toWidget(oldEnd);

    model_.insertAtCaret(s);
    const size_t newEnd = oldEnd - selected + s.size();
    breaks_.replaced(a, oldEnd, newEnd, model_.text());

    FlagScope updating(updating_);
    QTextCursor cursor(edit_->document());
    cursor.setPosition(int(widgetFrom));
    cursor.setPosition(int(widgetTo), QTextCursor::KeepAnchor);
    cursor.insertText(consoleWidgetText(std::string_view(model_.text()).substr(a, newEnd - a)));
    showCaret();
}

void QtConsole::replaceText(std::string_view s) {
    model_.replaceText(s);
    breaks_.rebuild(model_.text());
    FlagScope updating(updating_);
    edit_->setPlainText(consoleWidgetText(model_.text()));
    showCaret();
}

void QtConsole::setCaret(size_t position) {
    model_.setCaret(position);
    FlagScope updating(updating_);
    showCaret();
}

void QtConsole::setFocus() {
    edit_->setFocus(Qt::OtherFocusReason);
}

// One colour for all of the text: the palette's, as no character carries a colour of its own.
void QtConsole::setTextColor(Color color) {
    color_ = color;
    QPalette palette = edit_->palette();
    palette.setColor(QPalette::Text, toQColor(color));
    edit_->setPalette(palette);
}

void QtConsole::showCaret() {
    QTextCursor cursor = edit_->textCursor();
    cursor.setPosition(int(breaks_.toWidget(model_.caret())));
    edit_->setTextCursor(cursor);
    edit_->ensureCursorVisible();
}

void QtConsole::takeCaretFromWidget() {
    if (updating_) return;
    const QTextCursor cursor = edit_->textCursor();
    const size_t start = breaks_.toModel(size_t(cursor.selectionStart()));
    const size_t end = breaks_.toModel(size_t(cursor.selectionEnd()));
    if (end > start) {
        model_.select(start, end - start);
    } else {
        model_.setCaret(start);
    }
}

}  // namespace quill
