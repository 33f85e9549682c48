#include "platform/qt/qt_controls.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPalette>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/qt/qt_console.h"

namespace quill {

QColor toQColor(Color color) {
    const QPalette palette = QApplication::palette();
    switch (color.system) {
        case Color::System::ButtonFace:
            return palette.color(QPalette::Button);
        // Qt has no role of its own for menus; they are drawn in the window colour.
        case Color::System::Menu:
            return palette.color(QPalette::Window);
        case Color::System::WindowText:
            return palette.color(QPalette::WindowText);
        case Color::System::None:
            break;
    }
    return QColor(color.red, color.green, color.blue);
}

QFont fixedPitchFont(int points) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPointSize(points);
    font.setWeight(QFont::Normal);
    return font;
}

namespace {

std::string toStd(const QString& s) {
    return s.toStdString();
}
QString toQ(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

// A click is a release over the label after a press on it, as with a button.
void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click) emit clicked();
}

void FlatButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QColor face = palette().color(QPalette::Button);
    // A pressed button shows it by a darker face, as a raised one cannot sink.
    painter.fillRect(rect(), isDown() ? face.darker(120) : face);
    painter.setPen(palette().color(QPalette::Shadow));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(3, 3, -3, -3);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
    painter.drawControl(QStyle::CE_PushButtonLabel, option);
}

QtLabel::QtLabel(QLabel* label) : label_(label) {
    label_->setAlignment(Qt::AlignCenter);
    label_->setWordWrap(true);
    label_->setAutoFillBackground(true);
}

void QtLabel::setCaption(const std::string& caption) {
    label_->setText(toQ(caption));
}
std::string QtLabel::caption() const {
    return toStd(label_->text());
}

void QtLabel::setBackColor(Color color) {
    back_ = color;
    QPalette palette = label_->palette();
    palette.setColor(QPalette::Window, toQColor(color));
    label_->setPalette(palette);
}

void QtLabel::setForeColor(Color color) {
    fore_ = color;
    QPalette palette = label_->palette();
    // Only the enabled groups: a disabled label keeps the style's grey text.
    palette.setColor(QPalette::Active, QPalette::WindowText, toQColor(color));
    palette.setColor(QPalette::Inactive, QPalette::WindowText, toQColor(color));
    label_->setPalette(palette);
}

void QtButton::setCaption(const std::string& caption) {
    button_->setText(toQ(caption));
}
std::string QtButton::caption() const {
    return toStd(button_->text());
}

void QtButton::setBackColor(Color color) {
    back_ = color;
    QPalette palette = button_->palette();
    palette.setColor(QPalette::Button, toQColor(color));
    button_->setPalette(palette);
}

QtTextField::QtTextField(QLineEdit* edit) : edit_(edit) {
    changedConnection_ =
        QObject::connect(edit_, &QLineEdit::textChanged, edit_, [this] { changed(); });
}

QtTextField::~QtTextField() {
    QObject::disconnect(changedConnection_);
}

void QtTextField::setText(const std::string& text) {
    edit_->setText(toQ(text));
}
std::string QtTextField::text() const {
    return toStd(edit_->text());
}

void QtFileDialog::showOpen() {
    name_ = toStd(QFileDialog::getOpenFileName(parent_, QString(), toQ(name_)));
}

void QtMessageBox::show(const std::string& text, const std::string& title) {
    QString shown = toQ(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::NoIcon, toQ(title), shown, QMessageBox::Ok, parent_);
    box.exec();
}

void QtBeeper::beep() {
    QApplication::beep();
}

void QtProgramEnd::endProgram() {
    for (QWidget* window : QApplication::topLevelWidgets()) window->hide();
    std::fflush(nullptr);
    std::_Exit(0);
}

namespace {
// The help window's design in twips, 15 to the pixel at 96 dots per inch.
constexpr double kHelpWidth = 4950;
constexpr double kHelpHeight = 4590;
constexpr double kHelpTextLeft = 120;
constexpr double kHelpTextTop = 120;
constexpr double kHelpTextWidth = 4695;
constexpr double kHelpTextHeight = 4335;
constexpr double kTwipsPerPixel = 15;
}  // namespace

HelpPane::HelpPane(QWidget* parent) : QWidget(parent, Qt::Window), text_(new QPlainTextEdit(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Quillmont Help"));
    text_->setReadOnly(true);
    text_->setFont(fixedPitchFont(9));
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    setText(QStringLiteral("Help\n"));
    // The window sees every key before its text area.
    text_->installEventFilter(this);
}

// The design's twips assume a 9-point font of about 12 pixels to the line; the font's real
// size follows the screen's density and the font found, so the window takes the design's
// proportions at whatever scale shows every line of the text without scrolling, and never
// less than the design size.
void HelpPane::fitTo(const QString& text) {
    const QFontMetrics metrics(text_->font());
    const QStringList lines = text.split(QChar(u'\n'));
    int widest = 0;
    for (const QString& line : lines) widest = std::max(widest, metrics.horizontalAdvance(line));
    // Around the text: the document's margin on each side, the frame, and the scroll bar.
    const int margins =
        2 * int(std::ceil(text_->document()->documentMargin())) + 2 * text_->frameWidth();
    const double neededWidth = widest + margins + text_->verticalScrollBar()->sizeHint().width() +
                               metrics.averageCharWidth();
    // Every line, the empty one after the last line end included, and a pixel to spare.
    const double neededHeight = double(metrics.lineSpacing()) * double(lines.size()) + margins + 1;
    const double scale = std::max({1.0, neededWidth * kTwipsPerPixel / kHelpTextWidth,
                                   neededHeight * kTwipsPerPixel / kHelpTextHeight});
    const auto px = [scale](double twips) {
        return int(std::ceil(twips * scale / kTwipsPerPixel));
    };
    setFixedSize(px(kHelpWidth), px(kHelpHeight));
    text_->setGeometry(px(kHelpTextLeft), px(kHelpTextTop), px(kHelpTextWidth),
                       px(kHelpTextHeight));
}

void HelpPane::setText(const QString& text) {
    fitTo(text);
    text_->setPlainText(text);
}

bool HelpPane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == text_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->text().isEmpty()) {
            close();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void HelpPane::keyPressEvent(QKeyEvent* event) {
    if (!event->text().isEmpty()) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void QtHelpWindow::showText(const std::string& text) {
    if (pane_.isNull()) pane_ = new HelpPane(parent_);
    pane_->setText(consoleWidgetText(text));
    pane_->show();
    pane_->raise();
    pane_->activateWindow();
}

}  // namespace quill
