#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <memory>
#include <string>

#include "common/port_factory.h"
#include "platform/qt/qt_console.h"
#include "platform/qt/qt_controls.h"
#include "platform/qt/qt_scheduler.h"
#include "platform/qt/qt_timer.h"
#include "platform/text_file.h"
#include "shell/form1.h"

namespace quill::app {

// The main window Form1 on Qt widgets: it owns the widgets, the platform adapters that Form1
// drives, and Form1 itself, which it loads once it is built. Every click goes to the Form1
// operation the window design names.
class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    // `programEnd` replaces the end of the process (a test's stand-in); null for the real one.
    explicit MainWindow(const std::string& commandLine, ProgramEnd* programEnd = nullptr,
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    Form1& form() { return *form_; }
    SerialPort& port() { return *port_.port; }

    // The widgets, under their design names, for a look from outside.
    QPlainTextEdit* Status() const { return statusEdit_; }
    QLabel* label(const char* name) const;
    QPushButton* button(const char* name) const;
    QLineEdit* field(const char* name) const;
    QAction* menuItem(const char* name) const;
    QtHelpWindow& helpWindow() { return helpForm_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPushButton* makeButton(const char* name, const char* caption, int left, int top, int width,
                            int height);
    ClickableLabel* makeLabel(const char* name, const char* caption, int left, int top, int width);
    QLineEdit* makeField(const char* name, int left, int top);
    void wire();
    void buildMenus();
    QAction* addItem(QMenu* menu, const char* name, const char* caption, void (Form1::*click)());
    // The keyboard commands see every key of the window first; true when the key was taken.
    bool keyCommand(QKeyEvent* event);

    // The platform behind the controls.
    QtScheduler scheduler_;
    QtTimer timer1_, timer3_, timer4_;
    QtYield yield_;
    ProgramPort port_;
    DiskTextFileSlot fileSlot_;
    QtFileDialog commonDialog1_{this};
    QtMessageBox messageBox_{this};
    QtBeeper beeper_;
    QtProgramEnd processEnd_;
    ProgramEnd& programEnd_;
    QtHelpWindow helpForm_{this};

    // The widgets, owned by the client area.
    QWidget* client_;
    QPlainTextEdit* statusEdit_;
    QPushButton* cbUser_;
    QPushButton* cbBoot_;
    QPushButton* cbWrite_;
    QLineEdit* hexFileN_;
    QLineEdit* bootFileN_;
    ClickableLabel* h8stat_;
    ClickableLabel* lbComSpeed_;
    ClickableLabel* lbComData_;
    ClickableLabel* lbComParity_;
    ClickableLabel* lbComStop_;
    ClickableLabel* lbComRTS_;
    ClickableLabel* lbComDTR_;
    ClickableLabel* lbComCTS_;
    QPushButton* cbNMI_;
    QPushButton* cbReset_;

    // The adapters Form1 sees.
    std::unique_ptr<QtConsole> status_;
    std::unique_ptr<QtTextField> hexFileNField_, bootFileNField_;
    std::unique_ptr<QtButton> cbWriteButton_;
    std::unique_ptr<QtLabel> h8statLabel_, lbComSpeedLabel_, lbComDataLabel_, lbComParityLabel_,
        lbComStopLabel_, lbComRTSLabel_, lbComDTRLabel_, lbComCTSLabel_;

    std::unique_ptr<Form1> form_;
};

}  // namespace quill::app
