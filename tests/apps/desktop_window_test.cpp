#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>

#include "desktop/application.h"
#include "desktop/main_window.h"
#include "support/qt_wait.h"

namespace quill::app {
namespace {

using testing::runUntil;

class DesktopWindow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ::setenv("QUILLMONT_PORT", "/dev/quillmont-absent", 1); }

    std::string caption(const char* name) { return window.label(name)->text().toStdString(); }
    void click(const char* name) { QTest::mouseClick(window.label(name), Qt::LeftButton); }
    void waitForFirstTick() {
        ASSERT_TRUE(runUntil([&] { return window.form().startupDone; }));
    }

    MainWindow window{""};
};

TEST_F(DesktopWindow, AfterTheFirstTickShowsTheSettingsAndThePortProblem) {
    window.show();
    EXPECT_EQ(window.windowTitle(), QString("Quillmont v0.7"));
    EXPECT_EQ(caption("lbComParity"), "Parity NON");  // design caption until the first tick
    EXPECT_FALSE(window.menuItem("mnuVerify")->isEnabled());
    EXPECT_FALSE(window.menuItem("mnuRead")->isEnabled());
    waitForFirstTick();
    // The captions themselves are the shell's; here they must reach the labels.
    EXPECT_EQ(caption("lbComParity"), "Parity N");
    EXPECT_EQ(caption("lbComCTS"), "CTS OFF");
    const QString console = window.Status()->toPlainText();
    EXPECT_TRUE(console.contains("/dev/quillmont-absent")) << console.toStdString();
    EXPECT_EQ(window.Status()->palette().color(QPalette::Text), QColor(0, 0, 0x80));
    EXPECT_EQ(window.form().bootFileName, "");  // the design texts are no file names
    const QImage picture = window.grab().toImage();
    EXPECT_TRUE(picture.save(QStringLiteral(QUILLMONT_TEST_OUTPUT_DIR "/desktop_window.png")));
}

TEST_F(DesktopWindow, LabelClicksReachTheirOperations) {
    waitForFirstTick();
    click("lbComSpeed");
    EXPECT_EQ(caption("lbComSpeed"), "Speed 300");
    EXPECT_EQ(window.port().settings(), "300,N,8,1");
    click("lbComParity");
    click("lbComData");
    click("lbComStop");
    EXPECT_EQ(window.port().settings(), "300,E,7,2");
    for (bool on : {false, true}) {  // each click toggles its line and caption
        click("lbComRTS");
        click("lbComDTR");
        EXPECT_EQ(caption("lbComRTS"), on ? "RTS ON" : "RTS OFF");
        EXPECT_EQ(caption("lbComDTR"), on ? "DTR ON" : "DTR OFF");
        EXPECT_EQ(window.port().rts(), on);
        EXPECT_EQ(window.port().dtr(), on);
    }
    click("lbComCTS");
    EXPECT_EQ(caption("lbComCTS"), "CTS OFF");
}

// The colour most pixels of a widget show: its face, whatever its caption.
QColor faceColour(QWidget* widget) {
    const QImage picture = widget->grab().toImage();
    std::map<QRgb, int> count;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) ++count[picture.pixel(x, y)];
    return QColor(std::max_element(count.begin(), count.end(), [](auto& a, auto& b) {
                      return a.second < b.second;
                  })->first);
}

// Faces are flat, in exactly the design's colours.
TEST_F(DesktopWindow, ButtonsAndLabelsShowTheDesignColoursFlat) {
    window.show();
    waitForFirstTick();
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    Button& cbWrite = window.form().controls().cbWrite;
    for (const Color colour : {Color::rgb(255, 255, 64), Color::rgb(255, 64, 64),
                               Color::of(Color::System::ButtonFace)}) {
        cbWrite.setBackColor(colour);
        EXPECT_EQ(faceColour(window.button("cbWrite")),
                  colour.isSystem() ? buttonFace : QColor(colour.red, colour.green, colour.blue));
    }
    EXPECT_EQ(faceColour(window.button("cbNMI")), buttonFace);
    EXPECT_EQ(faceColour(window.label("H8stat")), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(faceColour(window.label("lbComSpeed")), buttonFace);
    EXPECT_EQ(faceColour(window.label("lbComRTS")),
              QApplication::palette().color(QPalette::Window));
    window.form().controls().H8stat.setBackColor(Color::hex(0x00C000));
    EXPECT_EQ(faceColour(window.label("H8stat")), QColor(0, 0xC0, 0));
}

// A start-up error is shown to a user who has no terminal before the program ends with 2.
TEST(DesktopStartup, AnErrorBeforeTheWindowIsShownInAMessageBox) {
    ::setenv("QUILLMONT_PORT", "sim", 1);
    ::setenv("QUILLMONT_SIM", "no-such-option", 1);
    QString text, title;
    QTimer poll;
    int waitedMs = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            title = box->windowTitle();
            box->accept();
        } else if ((waitedMs += 10) > 5000) {
            QApplication::exit(-1);  // no box: end whatever loop runs instead
        }
    });
    poll.start(10);
    const int status = Application::run("");
    ::unsetenv("QUILLMONT_SIM");
    EXPECT_EQ(status, 2);
    EXPECT_EQ(title, QString("Quillmont"));
    EXPECT_TRUE(text.contains("no-such-option")) << text.toStdString();
}

}  // namespace
}  // namespace quill::app
