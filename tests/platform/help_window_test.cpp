#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <cstdlib>

#include "platform/qt/qt_controls.h"
#include "terminal/help_text.h"

namespace quill {
namespace {

// Runs once per screen density (QUILLMONT_TEST_DPI), each on an offscreen screen of its own.
TEST(HelpWindow, ShowsEveryLineWithoutScrollingInTheDesignsProportions) {
    const char* dpi = std::getenv("QUILLMONT_TEST_DPI");
    QWidget owner;
    QtHelpWindow help(&owner);
    help.showText(helpText());
    HelpPane* pane = help.pane();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pane));
    ASSERT_EQ(pane->logicalDpiY(), dpi ? std::atoi(dpi) : 96);  // the screen is what it seems
    QPlainTextEdit* text = pane->textArea();
    const QTextBlock last = text->document()->findBlockByNumber(19);
    ASSERT_EQ(last.text(), QString("       Hit any Key to close Help."));
    EXPECT_EQ(text->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(text->horizontalScrollBar()->maximum(), 0);
    EXPECT_NEAR(double(pane->width()) / pane->height(), 4950.0 / 4590.0, 0.01);
    EXPECT_GE(pane->width(), 4950 / 15);
}

}  // namespace
}  // namespace quill
