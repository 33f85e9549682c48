#include "desktop/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QMenuBar>
#include <stdexcept>

#include "desktop/virtual_keys.h"
#include "platform/qt/rfc2217_port.h"

namespace quill::app {

namespace {

// The window design is in twips; Qt places in pixels at 15 twips to the pixel.
constexpr int px(int twips) {
    return twips / 15;
}

constexpr int kClientWidth = 7815;
constexpr int kClientHeight = 5505;
constexpr int kBottomRowTop = 5040;
constexpr int kBottomRowHeight = 375;

constexpr Color kPowerOffBack = Color::hex(0xC0C0C0);
constexpr Color kPowerText = Color::hex(0xFFFFFF);
constexpr Color kButtonFace = Color::of(Color::System::ButtonFace);
constexpr Color kMenu = Color::of(Color::System::Menu);
constexpr Color kWindowText = Color::of(Color::System::WindowText);

}  // namespace

MainWindow::MainWindow(const std::string& commandLine, ProgramEnd* programEnd, QWidget* parent)
    : QMainWindow(parent),
      port_(makeProgramPort(scheduler_)),
      programEnd_(programEnd ? *programEnd : processEnd_),
      client_(new QWidget(this)),
      statusEdit_(new QPlainTextEdit(client_)) {
    if (!port_.port) throw std::runtime_error(port_.error);
    setWindowTitle(QString::fromLatin1(Form1::kCaption));
    setObjectName(QStringLiteral("Form1"));
    client_->setFixedSize(px(kClientWidth), px(kClientHeight));
    // The bottom row's captions wrap inside labels of 25 to 50 pixels, as the design's
    // 9-point window font does.
    QFont windowFont = client_->font();
    windowFont.setPixelSize(10);
    client_->setFont(windowFont);
    setCentralWidget(client_);
    // The menu bar belongs to the window on every desktop, so the client area keeps its
    // design size below it.
    menuBar()->setNativeMenuBar(false);

    statusEdit_->setObjectName(QStringLiteral("Status"));
    statusEdit_->setGeometry(px(120), px(840), px(7575), px(4095));
    statusEdit_->setFont(fixedPitchFont(9));

    cbUser_ = makeButton("cbUser", "User Prog.", 120, 120, 975, 255);
    cbBoot_ = makeButton("cbBoot", "Boot Prog.", 120, 480, 975, 255);
    cbWrite_ = makeButton("cbWrite", "Write", 6840, kBottomRowTop, 855, kBottomRowHeight);
    hexFileN_ = makeField("HexFileN", 1200, 120);
    bootFileN_ = makeField("BootFileN", 1200, 480);
    h8stat_ = makeLabel("H8stat", "H8 Power OFF", 120, kBottomRowTop, 735);
    lbComSpeed_ = makeLabel("lbComSpeed", "Speed 38400", 960, kBottomRowTop, 615);
    lbComData_ = makeLabel("lbComData", "Data 8", 1680, kBottomRowTop, 375);
    lbComParity_ = makeLabel("lbComParity", "Parity NON", 2160, kBottomRowTop, 495);
    lbComStop_ = makeLabel("lbComStop", "Stop 1", 2760, kBottomRowTop, 375);
    lbComRTS_ = makeLabel("lbComRTS", "RTS", 3240, kBottomRowTop, 495);
    lbComDTR_ = makeLabel("lbComDTR", "DTR", 3840, kBottomRowTop, 495);
    lbComCTS_ = makeLabel("lbComCTS", "CTS", 4440, kBottomRowTop, 495);
    cbNMI_ = makeButton("cbNMI", "NMI", 5400, kBottomRowTop, 495, kBottomRowHeight);
    cbReset_ = makeButton("cbReset", "RES", 6000, kBottomRowTop, 495, kBottomRowHeight);

    QWidget::setTabOrder(statusEdit_, cbUser_);
    QWidget::setTabOrder(cbUser_, cbBoot_);
    QWidget::setTabOrder(cbBoot_, cbWrite_);
    QWidget::setTabOrder(cbWrite_, hexFileN_);
    QWidget::setTabOrder(hexFileN_, bootFileN_);
    QWidget::setTabOrder(bootFileN_, cbNMI_);
    QWidget::setTabOrder(cbNMI_, cbReset_);

    status_ = std::make_unique<QtConsole>(statusEdit_);
    hexFileNField_ = std::make_unique<QtTextField>(hexFileN_);
    bootFileNField_ = std::make_unique<QtTextField>(bootFileN_);
    cbWriteButton_ = std::make_unique<QtButton>(cbWrite_);
    cbWriteButton_->setBackColor(kButtonFace);
    h8statLabel_ = std::make_unique<QtLabel>(h8stat_);
    lbComSpeedLabel_ = std::make_unique<QtLabel>(lbComSpeed_);
    lbComDataLabel_ = std::make_unique<QtLabel>(lbComData_);
    lbComParityLabel_ = std::make_unique<QtLabel>(lbComParity_);
    lbComStopLabel_ = std::make_unique<QtLabel>(lbComStop_);
    lbComRTSLabel_ = std::make_unique<QtLabel>(lbComRTS_);
    lbComDTRLabel_ = std::make_unique<QtLabel>(lbComDTR_);
    lbComCTSLabel_ = std::make_unique<QtLabel>(lbComCTS_);
    h8statLabel_->setBackColor(kPowerOffBack);
    h8statLabel_->setForeColor(kPowerText);
    for (QtLabel* settings : {lbComSpeedLabel_.get(), lbComDataLabel_.get(),
                              lbComParityLabel_.get(), lbComStopLabel_.get()}) {
        settings->setBackColor(kButtonFace);
        settings->setForeColor(kWindowText);
    }
    for (QtLabel* line : {lbComRTSLabel_.get(), lbComDTRLabel_.get(), lbComCTSLabel_.get()}) {
        line->setBackColor(kMenu);
        line->setForeColor(kWindowText);
    }

    // The design texts are in place before Form1 hooks the change handlers, so they are
    // never taken as file names.
    form_ = std::make_unique<Form1>(
        Form1Controls{*status_,         *hexFileNField_,   *bootFileNField_, *cbWriteButton_,
                      *h8statLabel_,    *lbComSpeedLabel_, *lbComDataLabel_, *lbComParityLabel_,
                      *lbComStopLabel_, *lbComRTSLabel_,   *lbComDTRLabel_,  *lbComCTSLabel_,
                      timer1_,          timer3_,           timer4_,          *port_.port,
                      commonDialog1_,   messageBox_,       beeper_,          programEnd_,
                      helpForm_,        fileSlot_,         yield_,           scheduler_},
        commandLine);
    if (port_.network) {
        port_.network->setNoticeHandler(
            [this](const std::string& text) { form_->portNotice(text); });
    }
    wire();
    buildMenus();
    // Every key of the window reaches the keyboard commands before the focused control.
    qApp->installEventFilter(this);
    // The window is fixed at its design size, menu bar included.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    statusEdit_->setFocus();
    form_->Form_Load();
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
}

QPushButton* MainWindow::makeButton(const char* name, const char* caption, int left, int top,
                                    int width, int height) {
    auto* button = new FlatButton(QString::fromLatin1(caption), client_);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(px(left), px(top), px(width), px(height));
    button->setAutoDefault(false);
    return button;
}

ClickableLabel* MainWindow::makeLabel(const char* name, const char* caption, int left, int top,
                                      int width) {
    auto* label = new ClickableLabel(QString::fromLatin1(caption), client_);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(px(left), px(top), px(width), px(kBottomRowHeight));
    return label;
}

QLineEdit* MainWindow::makeField(const char* name, int left, int top) {
    auto* field = new QLineEdit(client_);
    field->setObjectName(QString::fromLatin1(name));
    field->setGeometry(px(left), px(top), px(6495), px(270));
    // The design texts equal the button captions.
    field->setText(QString::fromLatin1(top == 120 ? "User Prog." : "Boot Prog."));
    return field;
}

void MainWindow::wire() {
    Form1& f = *form_;
    connect(cbUser_, &QPushButton::clicked, this, [&f] { f.cbUser_Click(); });
    connect(cbBoot_, &QPushButton::clicked, this, [&f] { f.cbBoot_Click(); });
    connect(cbWrite_, &QPushButton::clicked, this, [&f] { f.cbWrite_Click(); });
    connect(cbNMI_, &QPushButton::clicked, this, [&f] { f.cbNMI_Click(); });
    connect(cbReset_, &QPushButton::clicked, this, [&f] { f.cbReset_Click(); });
    connect(h8stat_, &ClickableLabel::clicked, this, [&f] { f.H8stat_Click(); });
    connect(lbComSpeed_, &ClickableLabel::clicked, this, [&f] { f.lbComSpeed_Click(); });
    connect(lbComData_, &ClickableLabel::clicked, this, [&f] { f.lbComData_Click(); });
    connect(lbComParity_, &ClickableLabel::clicked, this, [&f] { f.lbComParity_Click(); });
    connect(lbComStop_, &ClickableLabel::clicked, this, [&f] { f.lbComStop_Click(); });
    connect(lbComRTS_, &ClickableLabel::clicked, this, [&f] { f.lbComRTS_Click(); });
    connect(lbComDTR_, &ClickableLabel::clicked, this, [&f] { f.lbComDTR_Click(); });
    connect(lbComCTS_, &ClickableLabel::clicked, this, [&f] { f.lbComCTS_Click(); });
    // HexFileN and BootFileN: Form1 hooks their change handlers itself.
}

QAction* MainWindow::addItem(QMenu* menu, const char* name, const char* caption,
                             void (Form1::*click)()) {
    QAction* item = menu->addAction(QString::fromLatin1(caption));
    item->setObjectName(QString::fromLatin1(name));
    connect(item, &QAction::triggered, this, [this, click] { (form_.get()->*click)(); });
    return item;
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("File(&F)"));
    file->setObjectName(QStringLiteral("mnuFile"));
    addItem(file, "mnuBt", "Boot File(&B)", &Form1::mnuBt_Click);
    addItem(file, "mnuProg", "Prog File(&P)", &Form1::mnuProg_Click);
    file->addSeparator()->setObjectName(QStringLiteral("mnuLine1"));
    addItem(file, "mnuExit", "Exit(&E)", &Form1::mnuExit_Click);

    QMenu* rom = menuBar()->addMenu(QStringLiteral("Flash Rom(&R)"));
    rom->setObjectName(QStringLiteral("mnuRom"));
    addItem(rom, "mnuWrite", "Write(&W)", &Form1::mnuWrite_Click);
    addItem(rom, "mnuVerify", "Verify(&V)", &Form1::mnuVerify_Click)->setEnabled(false);
    addItem(rom, "mnuRead", "Read(&D)", &Form1::mnuRead_Click)->setEnabled(false);

    QMenu* tools = menuBar()->addMenu(QStringLiteral("Tools(&T)"));
    tools->setObjectName(QStringLiteral("Tools"));
    addItem(tools, "H8Reset", "Reset H8", &Form1::H8Reset_Click);
    addItem(tools, "H8NMI", "NMI to H8", &Form1::H8NMI_Click);
}

QLabel* MainWindow::label(const char* name) const {
    return client_->findChild<QLabel*>(QString::fromLatin1(name));
}

QPushButton* MainWindow::button(const char* name) const {
    return client_->findChild<QPushButton*>(QString::fromLatin1(name));
}

QLineEdit* MainWindow::field(const char* name) const {
    return client_->findChild<QLineEdit*>(QString::fromLatin1(name));
}

QAction* MainWindow::menuItem(const char* name) const {
    return menuBar()->findChild<QAction*>(QString::fromLatin1(name));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    form_->Form_Unload();
}

// Every key event of the application passes here. A key belongs to this window when it goes
// to the focused control of this window (or to the window itself); the help window and open
// menus have keys of their own. A key a child ignores travels on to its parents: it is taken
// only once, at its first receiver.
bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        QWidget* focus = QApplication::focusWidget();
        const bool passedOnByChild =
            focus != nullptr && focus != widget && widget != nullptr && widget->isAncestorOf(focus);
        if (widget != nullptr && widget->window() == this && !passedOnByChild &&
            keyCommand(static_cast<QKeyEvent*>(event)))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// A key first goes to Form_KeyDown as a key code, then the character it types, if any, to
// Form_KeyPress, which lets it into a file-name field only.
bool MainWindow::keyCommand(QKeyEvent* event) {
    int16_t code = virtualKeyCode(*event);
    int16_t shift = shiftState(event->modifiers());
    if (code != 0) form_->Form_KeyDown(code, shift);
    // Tab and Shift+Tab still move the focus between the controls.
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) return false;
    const QString text = event->text();
    if (text.isEmpty()) return true;
    const char16_t typed = text.at(0).unicode();
    int16_t character = int16_t(typed > 0x7FFF ? 0x7FFF : typed);
    // The window's focus control, which the key is going to.
    const QWidget* focus = focusWidget();
    const bool inFileField = focus == hexFileN_ || focus == bootFileN_;
    form_->Form_KeyPress(character, inFileField);
    // A character let through reaches the field; Backspace deletes there, as the field's own
    // editing does for a typed character. Other control characters go nowhere.
    return character == 0 || (character < 32 && character != 8) || character == 127;
}

}  // namespace quill::app
