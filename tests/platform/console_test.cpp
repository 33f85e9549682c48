#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <map>
#include <random>
#include <string>

#include "platform/qt/qt_console.h"

namespace quill {
namespace {

using namespace std::string_literals;

// A CR LF pair is one line break in the widget, a UTF-8 character one unit (two beyond
// U+FFFF), a byte that starts no character one Latin-1 unit. Control bytes must stay one
// character each too, or every later position would shift.
TEST(ConsolePositions, PositionsMapBothWays) {
    const std::string text =
        "\r\nab\r\n\r\ncd\re\nf\xC3\xA9g\xF0\x9F\x98\x80\xE9\xA9h\xE2\x82\r\n\0\x0c\t\x7f"s;
    EXPECT_EQ(consoleWidgetText(text), QString::fromUtf8("\nab\n\ncd\ne\nf\u00E9g\U0001F600") +
                                           QChar(0xE9) + QChar(0xA9) + QString("h") + QChar(0xE2) +
                                           QChar(0x82) + QString("\n") + QChar(0x2400) +
                                           QChar(0x240C) + QChar('\t') + QChar(0x2421));
    ConsolePositions positions;
    positions.rebuild(text);
    EXPECT_EQ(positions.toWidget(text.size()), size_t(consoleWidgetText(text).size()));
    // Outside a pair or character every position survives the round trip; one inside lands
    // after it.
    const std::map<size_t, size_t> inside = {{1, 2},   {5, 6},   {7, 8},   {15, 16},
                                             {18, 21}, {19, 21}, {20, 21}, {27, 28}};
    for (size_t p = 0; p <= text.size(); ++p) {
        const auto in = inside.find(p);
        EXPECT_EQ(positions.toModel(positions.toWidget(p)), in == inside.end() ? p : in->second)
            << "position " << p;
    }
}

class QtConsoleTest : public ::testing::Test {
  protected:
    QtConsoleTest() : console(&edit) { edit.resize(400, 200); }

    // The widget shows exactly the model, and its cursor stands at the model's caret.
    void expectInStep() {
        EXPECT_EQ(edit.toPlainText(), consoleWidgetText(console.text()));
        ConsolePositions positions;
        positions.rebuild(console.text());
        EXPECT_EQ(size_t(edit.textCursor().position()), positions.toWidget(console.caret()));
        // The positions kept up edit by edit are those of the whole text.
        for (size_t p = 0; p <= console.text().size(); ++p)
            ASSERT_EQ(console.positions().toWidget(p), positions.toWidget(p)) << "position " << p;
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
// joining a lone LF, a selection eating half a pair, a lead byte gaining or losing its
// continuation bytes) far more often than hand-picked ones.
TEST_F(QtConsoleTest, RandomEditsNeverLoseStep) {
    std::mt19937 random(7);
    const char* pieces[] = {
        "\r",   "\n",   "\r\n",    "ab", "x\r", "\ny", "", "\xC3\xA9", "\xF0\x9F\x98\x80",
        "\xE2", "\x82", "\xAC\xF0"};
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

// Output at the end of a full console changes only the end.
TEST_F(QtConsoleTest, TheUsersClickOrSelectionSteersTheNextOutputTheEndOfAFullOneOnlyTheEnd) {
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
    console.insertAtCaret("-");
    EXPECT_EQ(console.text(), "a-d\r\nX\r\nef");
    expectInStep();

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
