#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <string>

#include "platform/controls.h"

namespace quill {

// An RGB colour as it stands; a system colour as the application's palette has it.
QColor toQColor(Color color);

// The fixed-pitch font of the console and the help text.
QFont fixedPitchFont(int points);

// A QLabel that reports a click (a press and release of the left button on it).
class ClickableLabel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;

  signals:
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool pressed_ = false;
};

// A push button whose face is one flat colour, its palette's button colour, as the design
// gives it: a style's gradient would wash the write driver's yellow and red out.
class FlatButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// The adapters below drive widgets that their owner (the window) creates and places.

class QtLabel : public Label {
  public:
    explicit QtLabel(QLabel* label);
    void setCaption(const std::string& caption) override;
    std::string caption() const override;
    void setBackColor(Color color) override;
    Color backColor() const override { return back_; }
    void setForeColor(Color color) override;
    Color foreColor() const override { return fore_; }
    void setEnabled(bool enabled) override { label_->setEnabled(enabled); }
    bool enabled() const override { return label_->isEnabled(); }

  private:
    QLabel* label_;
    Color back_ = Color::of(Color::System::ButtonFace);
    Color fore_ = Color::of(Color::System::WindowText);
};

class QtButton : public Button {
  public:
    explicit QtButton(QPushButton* button) : button_(button) {}
    void setCaption(const std::string& caption) override;
    std::string caption() const override;
    void setBackColor(Color color) override;
    Color backColor() const override { return back_; }

  private:
    QPushButton* button_;
    Color back_ = Color::of(Color::System::ButtonFace);
};

// Raises its change handler on every change of the text, typed or set.
class QtTextField : public TextField {
  public:
    explicit QtTextField(QLineEdit* edit);
    ~QtTextField() override;
    QtTextField(const QtTextField&) = delete;
    QtTextField& operator=(const QtTextField&) = delete;
    void setText(const std::string& text) override;
    std::string text() const override;
    bool hasFocus() const override { return edit_->hasFocus(); }

  private:
    QLineEdit* edit_;
    QMetaObject::Connection changedConnection_;
};

class QtFileDialog : public FileDialog {
  public:
    explicit QtFileDialog(QWidget* parent) : parent_(parent) {}
    void setFileName(const std::string& name) override { name_ = name; }
    void showOpen() override;
    std::string fileName() const override { return name_; }

  private:
    QWidget* parent_;
    std::string name_;
};

class QtMessageBox : public MessageBox {
  public:
    explicit QtMessageBox(QWidget* parent) : parent_(parent) {}
    void show(const std::string& text, const std::string& title) override;

  private:
    QWidget* parent_;
};

class QtBeeper : public Beeper {
  public:
    void beep() override;
};

// Hides every window and ends the process on the spot. The program may be deep inside nested
// waits when it quits, with the application object still alive on main's stack, so no
// destructor runs: only the output streams are flushed.
class QtProgramEnd : public ProgramEnd {
  public:
    [[noreturn]] void endProgram() override;
};

// The help window's own widget: a read-only fixed-pitch text that any typed character closes.
class HelpPane : public QWidget {
    Q_OBJECT
  public:
    explicit HelpPane(QWidget* parent);
    void setText(const QString& text);
    QPlainTextEdit* textArea() const { return text_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void fitTo(const QString& text);
    QPlainTextEdit* text_;
};

// Creates the help window on demand; it deletes itself when it closes.
class QtHelpWindow : public HelpWindow {
  public:
    explicit QtHelpWindow(QWidget* parent) : parent_(parent) {}
    void showText(const std::string& text) override;
    bool isOpen() const override { return !pane_.isNull() && pane_->isVisible(); }
    HelpPane* pane() const { return pane_.data(); }

  private:
    QWidget* parent_;
    QPointer<HelpPane> pane_;
};

}  // namespace quill
