// The desktop program: its window as designed, and its keys, menus and writes on the virtual
// board, in real time.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <tuple>

#include "desktop/application.h"
#include "desktop/main_window.h"
#include "desktop/virtual_keys.h"
#include "platform/virtual/recording_controls.h"
#include "platform/virtual/virtual_serial_port.h"
#include "support/program_files.h"
#include "support/qt_wait.h"
#include "terminal/key_translation.h"

namespace quill::app {
namespace {

using testing::runUntil;
using What = VirtualSerialPort::LineEvent::What;
using Keys = std::vector<std::tuple<int, Qt::KeyboardModifiers, int>>;
const Qt::KeyboardModifiers none = Qt::NoModifier, shift = Qt::ShiftModifier,
                            keypad = Qt::KeypadModifier;

// A key reaches the board as the code of its US key (a Windows virtual-key code), translated as
// the terminal does; the window's own path is tried with a few keys on the board below.
TEST(Keys, EachKeyIsItsUsKeysCodeAndReachesTheBoardTranslated) {
    using enum Qt::Key;
    const Keys codes = {
        {Key_Z, shift, 90},          {Key_ParenRight, shift, 48},  {Key_At, shift, 50},
        {Key_Asterisk, keypad, 106}, {Key_Plus, keypad, 107},      {Key_Enter, keypad, 13},
        {Key_Period, keypad, 110},   {Key_Equal, none, 187},       {Key_Underscore, shift, 189},
        {Key_Question, shift, 191},  {Key_QuoteDbl, shift, 222},   {Key_Tab, none, 9},
        {Key_VolumeUp, none, 0}};
    for (const auto& [key, modifiers, code] : codes)
        EXPECT_EQ(virtualKeyCode(key, modifiers, 0), code) << std::hex << key;
    // The ISO key beside the left Shift is known by its X11 key code alone: "\", "_" shifted.
    EXPECT_EQ(translateKeyCode(virtualKeyCode(Key_Less, none, 94), false), '\\');
    EXPECT_EQ(translateKeyCode(virtualKeyCode(Key_Greater, shift, 94), true), '_');
    // Characters as their US key's code, the cursor block as theirs; the letters, digits, F keys,
    // Return and Space are the keys on the board below.
    const Keys sent = {
        {Key_Slash, keypad, 47},   {Key_Comma, none, 60},     {Key_Less, shift, 44},
        {Key_Semicolon, none, 58}, {Key_Colon, shift, 42},    {Key_Left, none, 37},
        {Key_Up, none, 38},        {Key_Right, none, 39},     {Key_Down, none, 40},
        {Key_Home, none, 36},      {Key_End, none, 35},       {Key_PageUp, none, 33},
        {Key_PageDown, none, 34},  {Key_Insert, none, 45},    {Key_Delete, none, 46},
        {Key_QuoteLeft, none, '@'}, {Key_Bar, shift, '|'},    {Key_BracketRight, none, ']'}};
    for (const auto& [key, modifiers, byte] : sent)
        EXPECT_EQ(translateKeyCode(virtualKeyCode(key, modifiers, 0), shiftState(modifiers) != 0),
                  byte)
            << std::hex << key;
    // Any of Shift, Ctrl and Alt is a modifier; the keypad is none.
    for (const auto modifiers : {shift, Qt::KeyboardModifiers(Qt::ControlModifier),
                                 Qt::KeyboardModifiers(Qt::AltModifier)})
        EXPECT_NE(shiftState(modifiers), 0);
    EXPECT_EQ(shiftState(keypad), 0);
}

// A picture of the window for a look by eye, in the build folder.
void grab(QWidget* w, const char* name) {
    EXPECT_TRUE(w->grab().save(QStringLiteral(QUILLMONT_TEST_OUTPUT_DIR "/") + name));
}

QString describe(QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) return "message box: " + box->text();
    return modal->metaObject()->className();
}

// Answers the modal dialogs a test expects, in order. Any other dialog, or one its answer left
// open, fails the test and is closed, so that no failure leaves a modal loop waiting forever.
class ModalAnswers {
  public:
    using Answer = std::function<void(QWidget*)>;
    ModalAnswers() {
        QObject::connect(&poll_, &QTimer::timeout, [this] { check(); });
        poll_.start(10);
    }
    ~ModalAnswers() {
        EXPECT_TRUE(answers_.empty()) << answers_.size() << " expected dialog(s) never came";
    }
    void expect(Answer answer) { answers_.push_back(std::move(answer)); }

  private:
    void check() {
        QPointer<QWidget> modal = QApplication::activeModalWidget();
        if (!modal) return;
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected " << describe(modal).toStdString();
        } else {
            Answer answer = std::move(answers_.front());
            answers_.erase(answers_.begin());
            answer(modal);
            if (!modal || !modal->isVisible()) return;
            ADD_FAILURE() << "still open after its answer: " << describe(modal).toStdString();
        }
        modal->close();  // a dialog's close is its rejection
    }

    QTimer poll_;
    std::vector<Answer> answers_;
};

// Expects a message box of this program saying `text`, and closes it.
ModalAnswers::Answer messageBox(const std::string& text) {
    return [text](QWidget* modal) {
        EXPECT_EQ(describe(modal).toStdString(), "message box: " + text);
        EXPECT_EQ(modal->windowTitle(), QString("Quillmont"));
        modal->close();
    };
}

// Chooses `path` in the file dialog, which opens with an empty name whatever name is set. The
// dialog's name field keeps its own text while it has the focus, which it may or may not have
// got yet: it loses it first.
ModalAnswers::Answer choose(const std::string& path) {
    return [path](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        const QString offered = dialog->selectedFiles().value(0);
        EXPECT_TRUE(offered.isEmpty() || QFileInfo(offered).isDir()) << offered.toStdString();
        if (QWidget* focus = dialog->focusWidget()) focus->clearFocus();
        dialog->selectFile(QString::fromStdString(path));
        static_cast<QDialog*>(dialog)->accept();
    };
}

TEST(DesktopWindow, ShowsSettingsAndPortProblemsAfterTheFirstTickAndStartUpErrorsInAMessageBox) {
    ::setenv("QUILLMONT_PORT", "/dev/quillmont-absent", 1);
    MainWindow window{""};
    window.show();
    EXPECT_EQ(window.windowTitle(), QString("Quillmont v0.7"));
    EXPECT_EQ(window.label("lbComParity")->text(), "Parity NON");  // design, until the first tick
    EXPECT_FALSE(window.menuItem("mnuVerify")->isEnabled());
    EXPECT_FALSE(window.menuItem("mnuRead")->isEnabled());
    ASSERT_TRUE(runUntil([&] { return window.form().startupDone; }));
    // The captions themselves are the shell's; here they must reach the labels.
    EXPECT_EQ(window.label("lbComCTS")->text(), "CTS OFF");
    const QString console = window.Status()->toPlainText();
    EXPECT_TRUE(console.contains("/dev/quillmont-absent")) << console.toStdString();
    EXPECT_EQ(window.Status()->palette().color(QPalette::Text), QColor(0, 0, 0x80));
    EXPECT_EQ(window.form().bootFileName, "");  // the design texts are no file names
    grab(&window, "desktop_window.png");
    // The real end of the program, in a child process of the test: Esc while idle, or Exit.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(QTest::keyClick(window.Status(), Qt::Key_Escape), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(window.menuItem("mnuExit")->trigger(), ::testing::ExitedWithCode(0), "");

    // A start-up error is shown to a user who has no terminal before the program ends with 2.
    ::setenv("QUILLMONT_PORT", "sim", 1);
    ::setenv("QUILLMONT_SIM", "no-such-option", 1);
    QTimer noBox;  // ends whatever loop runs instead
    QObject::connect(&noBox, &QTimer::timeout, [] { QApplication::exit(-1); });
    noBox.start(5000);
    ModalAnswers dialogs;
    dialogs.expect(messageBox("unknown board option \"no-such-option\""));
    EXPECT_EQ(Application::run(""), 2);
    ::unsetenv("QUILLMONT_SIM");
}

const ModalAnswers::Answer cancel = [](QWidget* modal) { modal->close(); };

// The desktop program on the virtual board, in real time.
class DesktopOnBoard : public ::testing::Test {
  protected:
    // The stand-in kernel: it takes the made-up boot program. Its erase takes 25 s, longer
    // than any test waits: a write is stopped while the erase is awaited.
    void SetUp() override { open("kernel=model,erase-time=25000"); }

    void open(const char* boardOptions) {
        window.reset();
        ::setenv("QUILLMONT_PORT", "sim", 1);
        ::setenv("QUILLMONT_SIM", boardOptions, 1);
        window = std::make_unique<MainWindow>("", &end);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(runUntil([&] { return window->form().startupDone; }));
        port().keepTraffic(true);
    }

    VirtualSerialPort& port() { return dynamic_cast<VirtualSerialPort&>(window->port()); }
    Form1& form() { return window->form(); }
    std::string caption(const char* name) { return window->label(name)->text().toStdString(); }
    void click(const char* name) { QTest::mouseClick(window->label(name), Qt::LeftButton); }
    std::string console() { return form().controls().Status.text(); }

    // Presses a key in the console and returns the bytes it sent to the board.
    std::vector<uint8_t> press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        const size_t from = port().traffic().size();
        QTest::keyClick(window->Status(), Qt::Key(key), modifiers);
        QTest::qWait(5);
        std::vector<uint8_t> sent;
        for (size_t i = from; i < port().traffic().size(); ++i)
            if (!port().traffic()[i].toHost) sent.push_back(port().traffic()[i].byte);
        return sent;
    }

    ModalAnswers dialogs;
    testing::ScratchFolder folder;
    ProgramEndThrows end;
    std::unique_ptr<MainWindow> window;
};

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

// Typing a file name stops the terminal; only the fields take characters.
TEST_F(DesktopOnBoard, KeysReachTheBoardAndOnlyItsEchoReachesTheConsoleOrTheyNameAFile) {
    const Keys keys = {{Qt::Key_A, none, 'A'},     {Qt::Key_Exclam, shift, '1'},
                       {Qt::Key_5, keypad, '5'},  {Qt::Key_Return, none, 13},
                       {Qt::Key_Space, none, 32}};
    for (const auto& [key, modifiers, byte] : keys)
        EXPECT_EQ(press(key, modifiers), std::vector{uint8_t(byte)}) << std::hex << key;
    EXPECT_TRUE(press(Qt::Key_Backspace).empty());
    EXPECT_TRUE(press(Qt::Key_F12).empty());
    // The user program on the board echoes what it gets; the console shows it, typed keys
    // themselves never reach it.
    ASSERT_TRUE(runUntil([&] { return console().find("A1") == 0; }, 2000)) << console();

    QLineEdit* field = window->field("HexFileN");
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "a.mot");
    EXPECT_EQ(form().userFileName, "a.mot");
    EXPECT_FALSE(form().terminalMode);
    // Arrows and Delete are consumed: the field keeps its text and caret.
    const int caret = field->cursorPosition();
    QTest::keyClick(field, Qt::Key_Left);
    QTest::keyClick(field, Qt::Key_Delete);
    EXPECT_EQ(field->cursorPosition(), caret);
    EXPECT_EQ(field->text(), QString("a.mot"));
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), QString("a.mo"));
}

// A button choice gives the focus back to the console, a menu choice leaves it where it was.
// File names are UTF-8 wherever the console shows them, and so are records.
TEST_F(DesktopOnBoard, AButtonChoiceGivesTheFocusBackToTheConsoleAMenuChoiceDoesNot) {
    for (const char* button : {"cbUser", "cbBoot"}) {
        const std::string chosen = folder.write(std::string(button) + ".mot", "");
        dialogs.expect(choose(chosen));
        window->field("HexFileN")->setFocus();
        QTest::mouseClick(window->button(button), Qt::LeftButton);
        EXPECT_EQ(button == std::string("cbUser") ? form().userFileName : form().bootFileName,
                  chosen);
        EXPECT_EQ(window->focusWidget(), window->Status()) << button;
    }
    EXPECT_EQ(window->field("BootFileN")->text().toStdString(), form().bootFileName);

    window->field("BootFileN")->setFocus();
    const std::string accented = folder.write("caf\xC3\xA9.mot", "S\xC3\xA9" "123456789\r\n");
    dialogs.expect(choose(accented));
    window->menuItem("mnuBt")->trigger();
    EXPECT_EQ(form().bootFileName, accented);
    EXPECT_EQ(window->field("BootFileN")->text().toStdString(), accented);
    EXPECT_EQ(window->focusWidget(), window->field("BootFileN"));
    dialogs.expect(cancel);  // the failure's message box
    window->menuItem("mnuWrite")->trigger();
    const QString shown = window->Status()->toPlainText();
    EXPECT_TRUE(shown.contains(QString::fromUtf8("caf\u00E9.mot ] ... exist\n"))) << console();
    EXPECT_TRUE(shown.contains(QString::fromUtf8("\nRecord: S\u00E9123456789\n ? [ 5 ]")))
        << console();
    dialogs.expect(cancel);  // a cancel empties the name
    window->menuItem("mnuProg")->trigger();
    EXPECT_EQ(form().userFileName, "");
    EXPECT_EQ(window->field("HexFileN")->text(), QString());
}

// F5 to F8 and the labels step the settings; F11, Ctrl+F11, Shift+F12, the NMI and RES
// buttons and menu items pulse their lines; the RTS and DTR labels toggle theirs; the power
// and CTS labels refresh both indicators. Help opens on F1, closes on any character and keeps
// its own keys. Faces are flat, in exactly the design's colours.
TEST_F(DesktopOnBoard, ColoursKeysLabelsButtonsMenusAndHelpReachTheirOperations) {
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    Button& cbWrite = window->form().controls().cbWrite;
    for (const Color colour : {Color::rgb(255, 255, 64), Color::rgb(255, 64, 64),
                               Color::of(Color::System::ButtonFace)}) {
        cbWrite.setBackColor(colour);
        EXPECT_EQ(faceColour(window->button("cbWrite")),
                  colour.isSystem() ? buttonFace : QColor(colour.red, colour.green, colour.blue));
    }
    EXPECT_EQ(faceColour(window->button("cbNMI")), buttonFace);
    EXPECT_EQ(faceColour(window->label("H8stat")), QColor(0, 0xC0, 0));  // the board is on
    EXPECT_EQ(faceColour(window->label("lbComSpeed")), buttonFace);
    EXPECT_EQ(faceColour(window->label("lbComRTS")),
              QApplication::palette().color(QPalette::Window));
    for (int key : {Qt::Key_F5, Qt::Key_F6, Qt::Key_F7, Qt::Key_F8}) press(key);
    EXPECT_EQ(port().settings(), "300,E,7,2");
    for (const char* label : {"lbComSpeed", "lbComParity", "lbComData", "lbComStop"}) click(label);
    EXPECT_EQ(port().settings(), "600,O,6,1");
    const size_t from = port().lineLog().size();
    press(Qt::Key_F11);
    press(Qt::Key_F11, Qt::ControlModifier);
    // Shift+[ is Shift+F12 on the keyboards the key codes come from: the NMI.
    EXPECT_TRUE(press(Qt::Key_BraceLeft, Qt::ShiftModifier).empty());
    QTest::mouseClick(window->button("cbNMI"), Qt::LeftButton);
    QTest::mouseClick(window->button("cbReset"), Qt::LeftButton);
    window->menuItem("H8NMI")->trigger();
    window->menuItem("H8Reset")->trigger();
    std::vector<std::pair<What, bool>> pulses, expected;
    for (size_t i = from; i < port().lineLog().size(); ++i)
        pulses.emplace_back(port().lineLog()[i].what, port().lineLog()[i].on);
    // A break is on, then off; a reset (DTR) or an NMI (RTS) is off, then on.
    for (What line :
         {What::Dtr, What::Break, What::Rts, What::Rts, What::Dtr, What::Rts, What::Dtr})
        expected.insert(expected.end(), {{line, line == What::Break}, {line, line != What::Break}});
    EXPECT_EQ(pulses, expected);
    for (bool on : {false, true}) {
        click("lbComRTS");
        click("lbComDTR");
        EXPECT_EQ(caption("lbComRTS"), on ? "RTS ON" : "RTS OFF");
        EXPECT_EQ(caption("lbComDTR"), on ? "DTR ON" : "DTR OFF");
        EXPECT_EQ(port().rts(), on);
        EXPECT_EQ(port().dtr(), on);
    }
    for (const char* label : {"H8stat", "lbComCTS"}) {
        window->label("H8stat")->setText("?");
        window->label("lbComCTS")->setText("?");
        click(label);
        EXPECT_EQ(caption("H8stat"), "H8 Power ON") << label;
        EXPECT_EQ(caption("lbComCTS"), "CTS ON") << label;
    }
    press(Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_FALSE(window->helpWindow().isOpen());
    press(Qt::Key_F1);
    ASSERT_TRUE(window->helpWindow().isOpen());
    HelpPane* pane = window->helpWindow().pane();
    EXPECT_EQ(pane->windowTitle(), QString("Quillmont Help"));
    EXPECT_EQ(pane->textArea()->toPlainText().split('\n').size(), 21);
    grab(pane, "help_window.png");
    // F5 in the help window is the help window's: no setting changes, the help stays.
    QTest::keyClick(pane->textArea(), Qt::Key_F5);
    EXPECT_EQ(caption("lbComSpeed"), "Speed 600");
    EXPECT_TRUE(window->helpWindow().isOpen());
    QTest::keyClick(pane->textArea(), Qt::Key_Space);
    QTest::qWait(5);
    EXPECT_FALSE(window->helpWindow().isOpen());
    press(Qt::Key_F1);
    EXPECT_TRUE(window->helpWindow().isOpen());
}

// During a write W starts no second one: the write goes to its end, or Esc stops it with its
// message box; either way the window is back in terminal mode.
TEST_F(DesktopOnBoard, AClickOnWriteWritesTheBoardAndWDuringItDoesNothing) {
    open("kernel=model,erase-time=200");
    window->field("BootFileN")->setText(QString::fromStdString(
        folder.write("boot.mot", testing::sRecords(0xF780, testing::patternBytes(64)))));
    window->field("HexFileN")->setText(QString::fromStdString(
        folder.write("user.mot", testing::sRecords(0x0000, testing::patternBytes(300)))));
    // A write that never ends (a second one run inside it takes its time-out timer) is stopped.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        ADD_FAILURE() << "the write did not end: " << console();
        press(Qt::Key_Escape);
    });
    watchdog.start(20'000);
    for (const bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "stopped" : "to its end");
        if (stop) dialogs.expect(messageBox("Stop by Key !"));
        QTimer erasing;
        QObject::connect(&erasing, &QTimer::timeout, [&] {
            if (!console().ends_with("erace Flash-ROM ... ")) return;
            erasing.stop();
            press(Qt::Key_W);
            if (stop) press(Qt::Key_Escape);
        });
        erasing.start(5);
        QTest::mouseClick(window->button("cbWrite"), Qt::LeftButton);
        const std::string log = console();
        EXPECT_EQ(log.find("Boot Program [ "), 0u) << log;
        EXPECT_EQ(log.find("Boot Program [ ", 1), std::string::npos) << log;
        EXPECT_TRUE(log.ends_with(stop ? " ? [ 99 ] Stop by Key !\r\n (Failure)\r\n"
                                       : "Flash write end ! (Success)\r\n"))
            << log;
        EXPECT_EQ(window->button("cbWrite")->text(), QString("Write"));
        EXPECT_EQ(caption("lbComSpeed"), "Speed 19200");
        EXPECT_EQ(window->focusWidget(), window->Status());
    }
}

}  // namespace
}  // namespace quill::app
