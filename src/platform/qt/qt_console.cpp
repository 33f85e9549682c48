#include "platform/qt/qt_console.h"

#include <QTextCursor>
#include <algorithm>

#include "platform/characters.h"
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

void ConsolePositions::scan(std::string_view text, size_t from, size_t to, std::vector<Join>& out) {
    for (size_t i = from; i < to;) {
        char32_t code = 0;
        const size_t bytes = pairAt(text, i) ? 2 : characterAt(text, i, code);
        if (bytes > 1) out.push_back({i, uint8_t(bytes), uint8_t(code > 0xFFFF ? 2 : 1), 0});
        i += bytes;
    }
}

void ConsolePositions::rebuild(std::string_view text) {
    joins_.clear();
    scan(text, 0, text.size(), joins_);
    size_t sum = 0;
    for (Join& j : joins_) j.shrinkSum = sum += j.bytes - j.units;
}

void ConsolePositions::replaced(size_t a, size_t oldEnd, size_t newEnd, std::string_view text) {
    auto first = std::lower_bound(joins_.begin(), joins_.end(), a,
                                  [](const Join& j, size_t p) { return j.at < p; });
    auto last = std::lower_bound(first, joins_.end(), oldEnd,
                                 [](const Join& j, size_t p) { return j.at < p; });
    // The joins behind the change move with it; usually there are none, as output goes to
    // the end.
    for (auto it = last; it != joins_.end(); ++it) it->at = it->at - oldEnd + newEnd;
    std::vector<Join> found;
    scan(text, a, newEnd, found);
    const size_t index = size_t(first - joins_.begin());
    auto at = joins_.erase(first, last);
    joins_.insert(at, found.begin(), found.end());
    size_t sum = index == 0 ? 0 : joins_[index - 1].shrinkSum;
    for (size_t k = index; k < joins_.size(); ++k)
        joins_[k].shrinkSum = sum += joins_[k].bytes - joins_[k].units;
}

std::vector<ConsolePositions::Join>::const_iterator ConsolePositions::firstFrom(size_t p) const {
    return std::lower_bound(joins_.begin(), joins_.end(), p,
                            [](const Join& j, size_t q) { return j.at < q; });
}

size_t ConsolePositions::toWidget(size_t p) const {
    auto it = firstFrom(p);
    if (it == joins_.begin()) return p;
    const Join& e = *(it - 1);
    return std::max(p, e.at + e.bytes) - e.shrinkSum;
}

size_t ConsolePositions::toModel(size_t w) const {
    // The widget start of each join ascends with it; count the joins that start before w.
    auto it = std::partition_point(joins_.begin(), joins_.end(), [w](const Join& j) {
        return j.at - (j.shrinkSum - (j.bytes - j.units)) < w;
    });
    if (it == joins_.begin()) return w;
    const Join& e = *(it - 1);
    return std::max(w + e.shrinkSum, e.at + e.bytes);
}

size_t ConsolePositions::boundaryBefore(size_t p) const {
    auto it = firstFrom(p);
    if (it != joins_.begin() && p < (it - 1)->at + (it - 1)->bytes) return (it - 1)->at;
    return p;
}

size_t ConsolePositions::boundaryAfter(size_t p) const {
    auto it = firstFrom(p);
    if (it != joins_.begin() && p < (it - 1)->at + (it - 1)->bytes)
        return (it - 1)->at + (it - 1)->bytes;
    return p;
}

QString consoleWidgetText(std::string_view text) {
    QString shown;
    shown.reserve(qsizetype(text.size()));
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        char32_t code;
        const size_t bytes = characterAt(text, i, code);
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
        } else if (code > 0xFFFF) {
            shown.append(QChar(QChar::highSurrogate(code)));
            shown.append(QChar(QChar::lowSurrogate(code)));
        } else {
            shown.append(QChar(char16_t(code)));
        }
        i += bytes;
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
    positions_.rebuild(model_.text());
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
    // Likewise a byte of a UTF-8 character next to it: a lead byte up to three bytes before
    // may gain or lose its continuation bytes, continuation bytes behind it their lead.
    const auto high = [&](size_t i) { return static_cast<unsigned char>(text[i]) >= 0x80; };
    const auto trailing = [&](size_t i) {
        return static_cast<unsigned char>(text[i]) >= 0x80 &&
               static_cast<unsigned char>(text[i]) < 0xC0;
    };
    size_t a = caret;
    if (a > 0 && text[a - 1] == '\r') {
        --a;
    } else {
        for (int k = 0; k < 3 && a > 0 && high(a - 1); ++k) --a;
    }
    a = positions_.boundaryBefore(a);
    size_t oldEnd = caret + selected;
    if (oldEnd < text.size() && text[oldEnd] == '\n') {
        ++oldEnd;
    } else {
        for (int k = 0; k < 3 && oldEnd < text.size() && trailing(oldEnd); ++k) ++oldEnd;
    }
    oldEnd = positions_.boundaryAfter(oldEnd);
    const size_t widgetFrom = positions_.toWidget(a);
    const size_t widgetTo = positions_.toWidget(oldEnd);

    model_.insertAtCaret(s);
    const size_t newEnd = oldEnd - selected + s.size();
    positions_.replaced(a, oldEnd, newEnd, model_.text());

    FlagScope updating(updating_);
    QTextCursor cursor(edit_->document());
    cursor.setPosition(int(widgetFrom));
    cursor.setPosition(int(widgetTo), QTextCursor::KeepAnchor);
    cursor.insertText(consoleWidgetText(std::string_view(model_.text()).substr(a, newEnd - a)));
    showCaret();
}

void QtConsole::replaceText(std::string_view s) {
    model_.replaceText(s);
    positions_.rebuild(model_.text());
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
    cursor.setPosition(int(positions_.toWidget(model_.caret())));
    edit_->setTextCursor(cursor);
    edit_->ensureCursorVisible();
}

void QtConsole::takeCaretFromWidget() {
    if (updating_) return;
    const QTextCursor cursor = edit_->textCursor();
    const size_t start = positions_.toModel(size_t(cursor.selectionStart()));
    const size_t end = positions_.toModel(size_t(cursor.selectionEnd()));
    if (end > start) {
        model_.select(start, end - start);
    } else {
        model_.setCaret(start);
    }
}

}  // namespace quill
