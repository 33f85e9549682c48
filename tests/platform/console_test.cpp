#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <random>
#include <string>

#include "platform/qt/qt_console.h"

namespace quill {
namespace {

TEST(ConsoleLineBreaks, EachLineEndIsOneWidgetCharacter) {
    const std::string text = "ab\r\ncd\rx\ny\r\n\r\nz\n\r";
    EXPECT_EQ(consoleWidgetText(text), QString::fromLatin1("ab\ncd\nx\ny\n\nz\n\n"));
    ConsoleLineBreaks breaks;
    breaks.rebuild(text);
    EXPECT_EQ(breaks.pairs(), 3u);
    EXPECT_EQ(breaks.toWidget(text.size()), size_t(consoleWidgetText(text).size()));
}

TEST(ConsoleLineBreaks, PositionsMapBothWays) {
    const std::string text = "\r\nab\r\n\r\ncd\re\nf\r\n";
    ConsoleLineBreaks breaks;
    breaks.rebuild(text);
    // Every model position outside a pair survives the round trip; the middle of a pair maps
    // to the widget position after its line break.
    for (size_t p = 0; p <= text.size(); ++p) {
        const bool midPair = p > 0 && p < text.size() && text[p - 1] == '\r' && text[p] == '\n';
        const size_t back = breaks.toModel(breaks.toWidget(p));
        EXPECT_EQ(back, midPair ? p + 1 : p) << "model position " << p;
    }
    EXPECT_EQ(breaks.toWidget(2), 1u);  // after the first pair
    EXPECT_EQ(breaks.toModel(1), 2u);
    EXPECT_EQ(breaks.toModel(3), 4u);  // "ab" then the second pair's CR
}

TEST(ConsoleWidgetText, ControlCharactersStayOneCharacterEach) {
    const std::string text("a\0\x0c\t\x7f\xe9", 6);
    const QString shown = consoleWidgetText(text);
    ASSERT_EQ(shown.size(), 6);
    EXPECT_EQ(shown[1], QChar(0x2400));
    EXPECT_EQ(shown[2], QChar(0x240C));
    EXPECT_EQ(shown[3], QChar(u'\t'));
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

    // The user clicks just before widget character `w`.
    void clickAt(int w) {
        QTextCursor at(edit.document());
        at.setPosition(w);
        const QRect r = edit.cursorRect(at);
        QTest::mouseClick(edit.viewport(), Qt::LeftButton, {},
                          QPoint(r.left() + 1, r.center().y()));
    }

    QPlainTextEdit edit;
    QtConsole console;
};

TEST_F(QtConsoleTest, InsertsKeepModelAndWidgetInStep) {
    console.insertAtCaret("Hello\r\n");
    console.insertAtCaret("world\r");
    console.insertAtCaret("\nnext");
    EXPECT_EQ(console.text(), "Hello\r\nworld\r\nnext");
    EXPECT_EQ(console.caret(), 18u);
    EXPECT_EQ(edit.toPlainText(), QString("Hello\nworld\nnext"));
    expectInStep();

    // Between the CR and the LF of a pair: the pair splits into two line breaks.
    console.setCaret(13);
    console.insertAtCaret("X");
    EXPECT_EQ(console.text(), "Hello\r\nworld\rX\nnext");
    EXPECT_EQ(edit.toPlainText(), QString("Hello\nworld\nX\nnext"));
    expectInStep();

    // A CR before a lone LF joins it into one pair.
    console.setCaret(14);
    console.insertAtCaret("\r");
    EXPECT_EQ(edit.toPlainText(), QString("Hello\nworld\nX\nnext"));
    EXPECT_EQ(console.caret(), 15u);
    expectInStep();
}

TEST_F(QtConsoleTest, RandomEditsNeverLoseStep) {
    std::mt19937 random(7);
    const char* pieces[] = {"\r", "\n", "\r\n", "ab", "x\r", "\ny", ""};
    for (int i = 0; i < 400; ++i) {
        const size_t length = console.text().size();
        const size_t at = length ? random() % (length + 1) : 0;
        if (random() % 4 == 0) {
            // The user selects a stretch, as a drag would.
            QTextCursor cursor = edit.textCursor();
            const int widgetLength = edit.document()->characterCount() - 1;
            const int from = int(random() % (widgetLength + 1));
            cursor.setPosition(from);
            cursor.setPosition(std::min(widgetLength, from + int(random() % 4)),
                               QTextCursor::KeepAnchor);
            edit.setTextCursor(cursor);
        } else {
            console.setCaret(at);
        }
        console.insertAtCaret(pieces[random() % std::size(pieces)]);
        expectInStep();
        if (::testing::Test::HasFailure()) FAIL() << "after edit " << i << ": " << console.text();
    }
}

TEST_F(QtConsoleTest, AClickMovesTheCaretAndTheNextOutputGoesThere) {
    edit.show();
    console.insertAtCaret("ab\r\ncd\r\nef");
    clickAt(6);  // before "e": widget "ab\ncd\nef"
    EXPECT_EQ(console.caret(), 8u);
    console.insertAtCaret("X\r\n");
    EXPECT_EQ(console.text(), "ab\r\ncd\r\nX\r\nef");
    EXPECT_EQ(edit.toPlainText(), QString("ab\ncd\nX\nef"));
    expectInStep();
}

TEST_F(QtConsoleTest, ASelectionOfTheUserIsReplacedByTheNextOutput) {
    console.insertAtCaret("one\r\ntwo\r\nthree");
    QTextCursor cursor = edit.textCursor();
    cursor.setPosition(2);
    cursor.setPosition(6, QTextCursor::KeepAnchor);  // "e\ntw"
    edit.setTextCursor(cursor);
    EXPECT_EQ(console.model().selectionLength(), 5u);
    console.insertAtCaret("-");
    EXPECT_EQ(console.text(), "on-o\r\nthree");
    expectInStep();
}

TEST_F(QtConsoleTest, ReplaceTextPutsTheCaretAtTheStart) {
    console.insertAtCaret("old text");
    console.replaceText("new\r\ntext");
    EXPECT_EQ(console.caret(), 0u);
    expectInStep();
    console.replaceText("");
    EXPECT_EQ(edit.toPlainText(), QString());
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
    const int widgetLength = edit.document()->characterCount() - 1;
    EXPECT_GE(changes[0][0].toInt(), widgetLength - 5);  // position of the change
    EXPECT_EQ(changes[0][1].toInt(), 0);                 // characters removed
    expectInStep();
}

TEST_F(QtConsoleTest, TextColourAppliesToAllText) {
    console.insertAtCaret("before\r\n");
    console.setTextColor(Color::hex(0x000080));
    console.insertAtCaret("after");
    EXPECT_EQ(console.textColor(), Color::hex(0x000080));
    EXPECT_EQ(edit.palette().color(QPalette::Active, QPalette::Text), QColor(0, 0, 0x80));
    EXPECT_EQ(edit.palette().color(QPalette::Inactive, QPalette::Text), QColor(0, 0, 0x80));
    // No stretch of text carries a colour of its own that would override the palette.
    for (QTextBlock b = edit.document()->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            EXPECT_FALSE(it.fragment().charFormat().hasProperty(QTextFormat::ForegroundBrush));
}

TEST_F(QtConsoleTest, TypedCharactersNeverReachTheText) {
    edit.show();
    console.insertAtCaret("abc");
    QTest::keyClicks(&edit, "xyz");
    EXPECT_EQ(console.text(), "abc");
    EXPECT_EQ(edit.toPlainText(), QString("abc"));
}

}  // namespace
}  // namespace quill
