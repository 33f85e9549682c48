#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "platform/qt/qt_controls.h"

namespace quill {
namespace {

TEST(QtHelpWindow, ATypedCharacterClosesAndDiscardsItOtherKeysDoNot) {
    QtHelpWindow help(nullptr);
    help.showText("line 1\r\n\r\nline 3\r\n");
    ASSERT_TRUE(help.isOpen());
    HelpPane* pane = help.pane();
    EXPECT_EQ(pane->windowTitle(), QString("Quillmont Help"));
    EXPECT_EQ(pane->textArea()->toPlainText(), QString("line 1\n\nline 3\n"));
    QTest::keyClick(pane->textArea(), Qt::Key_F5);
    QTest::keyClick(pane->textArea(), Qt::Key_Left);
    EXPECT_TRUE(help.isOpen());
    QTest::keyClick(pane->textArea(), Qt::Key_Space);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(help.isOpen());
    EXPECT_EQ(help.pane(), nullptr);
    // The next showing builds it anew.
    help.showText("again\r\n");
    EXPECT_TRUE(help.isOpen());
    QTest::keyClick(help.pane()->textArea(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(help.isOpen());
}

TEST(QtLabel, ReportsAClickAndShowsItsColours) {
    ClickableLabel widget(QStringLiteral("CTS"));
    widget.resize(40, 25);
    QtLabel label(&widget);
    int clicks = 0;
    QObject::connect(&widget, &ClickableLabel::clicked, [&] { ++clicks; });
    QTest::mouseClick(&widget, Qt::LeftButton);
    QTest::mouseClick(&widget, Qt::RightButton);
    EXPECT_EQ(clicks, 1);

    label.setBackColor(Color::hex(0x00C000));
    label.setForeColor(Color::hex(0xFFFFFF));
    EXPECT_EQ(widget.palette().color(QPalette::Window), QColor(0, 0xC0, 0));
    EXPECT_EQ(widget.palette().color(QPalette::Active, QPalette::WindowText), Qt::white);
    label.setBackColor(Color::of(Color::System::Menu));
    EXPECT_EQ(label.backColor(), Color::of(Color::System::Menu));
    EXPECT_EQ(widget.palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Window));
    label.setCaption("H8 Power ON");
    EXPECT_EQ(label.caption(), "H8 Power ON");
}

TEST(QtTextField, EveryChangeTypedOrSetRaisesTheHandler) {
    QLineEdit edit;
    QtTextField field(&edit);
    std::vector<std::string> seen;
    field.setChangeHandler([&] { seen.push_back(field.text()); });
    field.setText("a.mot");
    QTest::keyClicks(&edit, "x");
    EXPECT_EQ(seen, (std::vector<std::string>{"a.mot", "a.motx"}));
}

TEST(QtButton, TakesABackgroundColourAndTheButtonFaceBack) {
    QPushButton widget;
    QtButton button(&widget);
    button.setBackColor(Color::hex(0xFF0000));
    EXPECT_EQ(widget.palette().color(QPalette::Button), Qt::red);
    button.setBackColor(Color::of(Color::System::ButtonFace));
    EXPECT_EQ(widget.palette().color(QPalette::Button),
              QApplication::palette().color(QPalette::Button));
}

}  // namespace
}  // namespace quill
