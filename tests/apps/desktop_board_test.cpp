#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <tuple>

#include "desktop/main_window.h"
#include "platform/virtual/recording_controls.h"
#include "platform/virtual/virtual_serial_port.h"
#include "support/program_files.h"
#include "support/qt_wait.h"
#include "terminal/help_text.h"

namespace quill::app {
namespace {

using testing::runUntil;

using What = VirtualSerialPort::LineEvent::What;

void pause(int ms) {
    QTest::qWait(ms);
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
        if (auto* dialog = qobject_cast<QDialog*>(modal.data())) {
            dialog->reject();
        } else {
            modal->close();
        }
    }

    QTimer poll_;
    std::vector<Answer> answers_;
};

// Chooses `path` in the file dialog. The dialog's name field keeps its own text while it has
// the focus, which it may or may not have got yet: it loses it first.
ModalAnswers::Answer choose(const std::string& path) {
    return [path](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) return;
        if (QWidget* focus = dialog->focusWidget()) focus->clearFocus();
        dialog->selectFile(QString::fromStdString(path));
        static_cast<QDialog*>(dialog)->accept();
    };
}

void cancel(QWidget* modal) {
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
}

void grab(QWidget* w, const char* name) {
    EXPECT_TRUE(w->grab().save(QStringLiteral(QUILLMONT_TEST_OUTPUT_DIR "/") + name));
}

// The desktop program on the virtual board, in real time.
class DesktopOnBoard : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("QUILLMONT_PORT", "sim", 1);
        // The stand-in kernel: it takes the made-up boot program and the fault options.
        ::setenv("QUILLMONT_SIM", ("kernel=model," + std::string(boardOptions)).c_str(), 1);
        window = std::make_unique<MainWindow>("", realEnd ? nullptr : &end);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(runUntil([&] { return window->form().startupDone; }));
        port().keepTraffic(true);
        bootFile = folder.write("boot.mot", testing::sRecords(0xF780, testing::patternBytes(64)));
        userFile = folder.write("user.mot", testing::sRecords(0x0100, testing::patternBytes(200)));
    }

    VirtualSerialPort& port() { return dynamic_cast<VirtualSerialPort&>(window->port()); }
    Form1& form() { return window->form(); }
    std::string caption(const char* name) { return window->label(name)->text().toStdString(); }
    std::string console() { return form().controls().Status.text(); }

    // The bytes the program sent to the board since `from` characters of traffic.
    std::vector<uint8_t> sentSince(size_t from) {
        std::vector<uint8_t> out;
        const auto& traffic = port().traffic();
        for (size_t i = from; i < traffic.size(); ++i)
            if (!traffic[i].toHost) out.push_back(traffic[i].byte);
        return out;
    }

    // Presses a key in the console and returns the bytes it sent.
    std::vector<uint8_t> press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        const size_t from = port().traffic().size();
        QTest::keyClick(window->Status(), Qt::Key(key), modifiers);
        pause(5);
        return sentSince(from);
    }

    void nameFiles() {
        window->field("BootFileN")->setText(QString::fromStdString(bootFile));
        window->field("HexFileN")->setText(QString::fromStdString(userFile));
    }

    const char* boardOptions = "erase-time=20";
    bool realEnd = false;
    ModalAnswers dialogs;
    testing::ScratchFolder folder;
    std::string bootFile, userFile;
    ProgramEndThrows end;
    std::unique_ptr<MainWindow> window;
};

TEST_F(DesktopOnBoard, KeysAreSentAsTheirTranslatedCodes) {
    using V = std::vector<uint8_t>;
    const Qt::KeyboardModifiers none = Qt::NoModifier, shift = Qt::ShiftModifier,
                                keypad = Qt::KeypadModifier;
    // Characters as their US key's code; F2 to F4, F9, F10 and the cursor block as theirs.
    const std::tuple<int, Qt::KeyboardModifiers, int> keys[] = {
        {Qt::Key_A, none, 65},         {Qt::Key_Exclam, shift, 49},  {Qt::Key_5, keypad, 53},
        {Qt::Key_Slash, keypad, 47},   {Qt::Key_Comma, none, 60},    {Qt::Key_Less, shift, 44},
        {Qt::Key_Semicolon, none, 58}, {Qt::Key_Colon, shift, 42},   {Qt::Key_Return, none, 13},
        {Qt::Key_Space, none, 32},     {Qt::Key_F2, none, 'q'},      {Qt::Key_F3, none, 'r'},
        {Qt::Key_F4, none, 's'},       {Qt::Key_F9, none, 'x'},      {Qt::Key_F10, none, 'y'},
        {Qt::Key_Left, none, 37},      {Qt::Key_Up, none, 38},       {Qt::Key_Right, none, 39},
        {Qt::Key_Down, none, 40},      {Qt::Key_Home, none, 36},     {Qt::Key_End, none, 35},
        {Qt::Key_PageUp, none, 33},    {Qt::Key_PageDown, none, 34}, {Qt::Key_Insert, none, 45},
        {Qt::Key_Delete, none, 46}};
    for (const auto& [key, modifiers, byte] : keys)
        EXPECT_EQ(press(key, modifiers), V{uint8_t(byte)}) << std::hex << key;
    EXPECT_EQ(press(Qt::Key_Backspace), V{});
    EXPECT_EQ(press(Qt::Key_F12), V{});
    // The user program on the board echoes what it gets; the console shows it, typed keys
    // themselves never reach it.
    ASSERT_TRUE(runUntil([&] { return console().find("A1") == 0; }, 2000)) << console();
}

TEST_F(DesktopOnBoard, FunctionKeysStepTheSettingsAndPulseTheLines) {
    press(Qt::Key_F5);
    EXPECT_EQ(caption("lbComSpeed"), "Speed 300");
    press(Qt::Key_F6);
    press(Qt::Key_F7);
    press(Qt::Key_F8);
    EXPECT_EQ(port().settings(), "300,E,7,2");
    const size_t lines = port().lineLog().size();
    press(Qt::Key_F11);
    press(Qt::Key_F11, Qt::ControlModifier);
    // Shift+[ is Shift+F12 on the keyboards the key codes come from: the NMI.
    EXPECT_TRUE(press(Qt::Key_BraceLeft, Qt::ShiftModifier).empty());
    std::vector<What> pulses;
    for (size_t i = lines; i < port().lineLog().size(); ++i)
        pulses.push_back(port().lineLog()[i].what);
    EXPECT_EQ(pulses, (std::vector<What>{What::Dtr, What::Dtr, What::Break, What::Break, What::Rts,
                                         What::Rts}));
}

TEST_F(DesktopOnBoard, TypingAFileNameStopsTheTerminalAndOnlyFieldsTakeCharacters) {
    QLineEdit* field = window->field("HexFileN");
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "a.mot");
    EXPECT_EQ(form().userFileName, field->text().toStdString());
    EXPECT_EQ(field->text(), QString("a.mot"));
    EXPECT_FALSE(form().terminalMode);
    // Arrows and Delete are consumed: the field keeps its text and caret.
    const int caret = field->cursorPosition();
    QTest::keyClick(field, Qt::Key_Left);
    QTest::keyClick(field, Qt::Key_Delete);
    EXPECT_EQ(field->cursorPosition(), caret);
    EXPECT_EQ(field->text(), QString("a.mot"));
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), QString("a.mo"));
    // The console takes no character.
    window->Status()->setFocus();
    const std::string before = console();
    QTest::keyClicks(window->Status(), "xyz");
    EXPECT_EQ(console(), before);
}

TEST_F(DesktopOnBoard, HelpOpensOnF1ClosesOnAnyCharacterAndKeepsItsKeys) {
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
    EXPECT_EQ(caption("lbComSpeed"), "Speed 38400");
    EXPECT_TRUE(window->helpWindow().isOpen());
    QTest::keyClick(pane->textArea(), Qt::Key_Space);
    pause(5);
    EXPECT_FALSE(window->helpWindow().isOpen());
    press(Qt::Key_F1);
    EXPECT_TRUE(window->helpWindow().isOpen());
}

// The dialog opens with an empty name, whatever name is set; a button choice gives the focus
// back to the console, a menu choice leaves it where it was.
TEST_F(DesktopOnBoard, AButtonChoiceGivesTheFocusBackToTheConsoleAMenuChoiceDoesNot) {
    nameFiles();
    for (const char* button : {"cbUser", "cbBoot"}) {
        const std::string chosen = folder.write(std::string(button) + ".mot", "");
        dialogs.expect([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            const QString offered = dialog->selectedFiles().value(0);
            EXPECT_TRUE(offered.isEmpty() || QFileInfo(offered).isDir()) << offered.toStdString();
            choose(chosen)(modal);
        });
        window->field("HexFileN")->setFocus();
        QTest::mouseClick(window->button(button), Qt::LeftButton);
        EXPECT_EQ(button == std::string("cbUser") ? form().userFileName : form().bootFileName,
                  chosen);
        EXPECT_EQ(window->focusWidget(), window->Status()) << button;
    }
    EXPECT_EQ(window->field("BootFileN")->text().toStdString(), form().bootFileName);

    window->field("BootFileN")->setFocus();
    dialogs.expect(choose(bootFile));
    window->menuItem("mnuBt")->trigger();
    EXPECT_EQ(form().bootFileName, bootFile);
    EXPECT_EQ(window->field("BootFileN")->text().toStdString(), bootFile);
    EXPECT_EQ(window->focusWidget(), window->field("BootFileN"));
    dialogs.expect(cancel);  // a cancel empties the name
    window->menuItem("mnuProg")->trigger();
    EXPECT_EQ(form().userFileName, "");
    EXPECT_EQ(window->field("HexFileN")->text(), QString());
}

// NMI, RES (as buttons and menu items) and the power indicator each reach their operation.
TEST_F(DesktopOnBoard, PulsesAndThePowerLabelsReachTheirOperations) {
    for (auto [button, line] : {std::pair{"cbNMI", What::Rts},
                                {"cbReset", What::Dtr},
                                {"H8NMI", What::Rts},
                                {"H8Reset", What::Dtr}}) {
        const size_t from = port().lineLog().size();
        if (button[0] == 'c') {
            QTest::mouseClick(window->button(button), Qt::LeftButton);
        } else {
            window->menuItem(button)->trigger();
        }
        std::vector<std::pair<What, bool>> pulse;
        for (size_t i = from; i < port().lineLog().size(); ++i)
            pulse.emplace_back(port().lineLog()[i].what, port().lineLog()[i].on);
        EXPECT_EQ(pulse, (std::vector<std::pair<What, bool>>{{line, false}, {line, true}}))
            << button;
    }
    for (const char* label : {"H8stat", "lbComCTS"}) {
        window->label("H8stat")->setText("?");
        window->label("lbComCTS")->setText("?");
        QTest::mouseClick(window->label(label), Qt::LeftButton);
        EXPECT_EQ(caption("H8stat"), "H8 Power ON") << label;
        EXPECT_EQ(caption("lbComCTS"), "CTS ON") << label;
    }
}

// File names are UTF-8 wherever the console shows them.
TEST_F(DesktopOnBoard, AccentedNamesAndRecordsShowAsTheyAre) {
    bootFile = folder.write("caf\xC3\xA9.mot",
                            "S\xC3\xA9"
                            "123456789\r\n");
    nameFiles();
    dialogs.expect(cancel);
    window->menuItem("mnuWrite")->trigger();
    const QString shown = window->Status()->toPlainText();
    EXPECT_TRUE(shown.contains(QString::fromUtf8("caf\u00E9.mot ] ... exist\n"))) << console();
    EXPECT_TRUE(shown.contains(QString::fromUtf8("\nRecord: S\u00E9123456789\n ? [ 5 ]")))
        << console();
}

TEST_F(DesktopOnBoard, AClickOnWriteWritesTheBoardAndWDuringItDoesNothing) {
    nameFiles();
    bool grabbed = false;
    QTimer during;
    QObject::connect(&during, &QTimer::timeout, [&] {
        if (!form().writeBusy || grabbed) return;
        grab(window.get(), "desktop_writing.png");
        grabbed = true;
        press(Qt::Key_W);  // a second write is refused
    });
    during.start(5);
    QTest::mouseClick(window->button("cbWrite"), Qt::LeftButton);
    EXPECT_TRUE(grabbed);
    const std::string log = console();
    EXPECT_EQ(log.find("Boot Program [ "), 0u) << log;
    EXPECT_EQ(log.find("Boot Program [ ", 1), std::string::npos) << log;
    EXPECT_NE(log.find("Flash write end ! (Success)\r\n"), std::string::npos) << log;
    EXPECT_EQ(window->button("cbWrite")->text(), QString("Write"));
    EXPECT_EQ(caption("lbComSpeed"), "Speed 19200");
    EXPECT_EQ(window->focusWidget(), window->Status());
    grab(window.get(), "desktop_after_write.png");
}

// A board whose erase takes 25 s, longer than any test waits.
class DesktopOnSlowBoard : public DesktopOnBoard {
  protected:
    void SetUp() override {
        boardOptions = "erase-time=25000";
        DesktopOnBoard::SetUp();
    }
};

TEST_F(DesktopOnSlowBoard, AFailedWriteShowsItsMessageBox) {
    nameFiles();
    QString boxText, boxTitle;
    dialogs.expect([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        boxText = box->text();
        boxTitle = box->windowTitle();
        grab(window.get(), "desktop_failed_write.png");
        box->accept();
    });
    // Esc while the erase is awaited stops the write.
    QTimer erasing;
    QObject::connect(&erasing, &QTimer::timeout, [&] {
        if (console().ends_with("erace Flash-ROM ... ")) {
            erasing.stop();
            press(Qt::Key_Escape);
        }
    });
    erasing.start(5);
    window->menuItem("mnuWrite")->trigger();
    EXPECT_EQ(boxText, QString("Stop by Key !"));
    EXPECT_EQ(boxTitle, QString("Quillmont"));
    EXPECT_NE(console().find(" ? [ 99 ] Stop by Key !\r\n (Failure)\r\n"), std::string::npos)
        << console();
}

// The real end of the program, in a child process of the test.
class DesktopEnding : public DesktopOnBoard {
  protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        realEnd = true;
        DesktopOnBoard::SetUp();
    }
};

TEST_F(DesktopEnding, EscWhileIdleEndsTheProgram) {
    EXPECT_EXIT(press(Qt::Key_Escape), ::testing::ExitedWithCode(0), "");
}

TEST_F(DesktopEnding, ExitInTheFileMenuEndsTheProgram) {
    EXPECT_EXIT(window->menuItem("mnuExit")->trigger(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace quill::app
