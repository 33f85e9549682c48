#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <random>
#include <string>

#include "platform/qt/qt_console.h"

namespace quill {
namespace {

TEST(ConsoleLineBreaks, PositionsMapBothWays) {
    const std::string text = "\r\nab\r\n\r\ncd\re\nf\r\n";
    EXPECT_EQ(consoleWidgetText(text), QString::fromLatin1("\nab\n\ncd\ne\nf\n"));
    ConsoleLineBreaks breaks;
    breaks.rebuild(text);
    // Outside a pair every position survives the round trip; the middle of a pair lands after
    // its line break.
    for (size_t p = 0; p <= text.size(); ++p) {
        const bool midPair = p > 0 && p < text.size() && text[p - 1] == '\r' && text[p] == '\n';
        EXPECT_EQ(breaks.toModel(breaks.toWidget(p)), midPair ? p + 1 : p) << "position " << p;
    }
    // Control bytes must stay one character each, or every later position would shift.
    const QString shown = consoleWidgetText(std::string("a\0\x0c\t\x7f\xe9", 6));
    ASSERT_EQ(shown.size(), 6);
    EXPECT_EQ(shown[1], QChar(0x2400));
    EXPECT_EQ(shown[5], QChar(0xE9));
}

class QtConsoleTest : public ::testing::Test {
  protected:
    QtConsoleTest() : console(&edit) { edit.resize(400, 200); }

    // The widget shows exactly the model, and its cursor stands at the model's caret.
    void expectInStep() {
        EXPECT_EQ(edit.toPlainText(), consoleWidgetText(console.text()));
        ConsoleLineBreaks breaks;
        breaks.rebuild(console.text());
        EXPECT_EQ(size_t(edit.textCursor().position()), breaks.toWidget(console.caret()));
    }
    void select(int from, int to) {
        QTextCursor cursor = edit.textCursor();
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        edit.setTextCursor(cursor);
    }

    QPlainTextEdit edit;
    QtConsole console;
};

// Random inserts hit the awkward cases (a pair split by an insert between CR and LF, a CR
// joining a lone LF, a selection eating half a pair) far more often than hand-picked ones.
TEST_F(QtConsoleTest, RandomEditsNeverLoseStep) {
    std::mt19937 random(7);
    const char* pieces[] = {"\r", "\n", "\r\n", "ab", "x\r", "\ny", ""};
    for (int i = 0; i < 400; ++i) {
        const size_t length = console.text().size();
        if (random() % 4 == 0) {
            const int widgetLength = edit.document()->characterCount() - 1;
            const int from = int(random() % (widgetLength + 1));
            select(from, std::min(widgetLength, from + int(random() % 4)));
        } else {
            console.setCaret(length ? random() % (length + 1) : 0);
        }
        console.insertAtCaret(pieces[random() % std::size(pieces)]);
        expectInStep();
        if (HasFailure()) FAIL() << "after edit " << i << ": " << console.text();
    }
    console.replaceText("new\r\ntext");
    EXPECT_EQ(console.caret(), 0u);
    expectInStep();
}

TEST_F(QtConsoleTest, TheUsersClickOrSelectionSteersTheNextOutput) {
    edit.show();
    console.insertAtCaret("ab\r\ncd\r\nef");
    QTextCursor at(edit.document());
    at.setPosition(6);  // before "e"
    const QRect r = edit.cursorRect(at);
    QTest::mouseClick(edit.viewport(), Qt::LeftButton, {}, QPoint(r.left() + 1, r.center().y()));
    EXPECT_EQ(console.caret(), 8u);
    console.insertAtCaret("X\r\n");
    EXPECT_EQ(console.text(), "ab\r\ncd\r\nX\r\nef");
    expectInStep();

    select(1, 4);  // "b\nc": the selection covers the whole pair
    EXPECT_EQ(console.model().selectionLength(), 4u);
    console.insertAtCaret("-");
    EXPECT_EQ(console.text(), "a-d\r\nX\r\nef");
    expectInStep();
}

TEST_F(QtConsoleTest, OutputAtTheEndOfAFullConsoleChangesOnlyTheEnd) {
    std::string full;
    while (full.size() < 16384) full += "0123456789abcdef0123456789abcdef0123456789\r\n";
    console.replaceText(full);
    console.setCaret(full.size());
    QSignalSpy changes(edit.document(), &QTextDocument::contentsChange);
    console.insertAtCaret("tail\r\n");
    ASSERT_EQ(changes.count(), 1);
    EXPECT_GE(changes[0][0].toInt(), edit.document()->characterCount() - 6);  // where
    EXPECT_EQ(changes[0][1].toInt(), 0);                                      // removed
    expectInStep();
}

}  // namespace
}  // namespace quill
