#include "desktop/main_window.h"

#include <stdexcept>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QMenuBar>

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

MainWindow::MainWindow(const std::string& commandLine, QWidget* parent)
    : QMainWindow(parent),
      port_(makeProgramPort(scheduler_)),
      client_(new QWidget(this)),
      statusEdit_(new QPlainTextEdit(client_)) {
    if (!port_.port) throw std::invalid_argument(port_.error);
    setWindowTitle(QString::fromLatin1(Form1::kCaption));
    setObjectName(QStringLiteral("Form1"));
    client_->setFixedSize(px(kClientWidth), px(kClientHeight));
    // The bottom row's captions wrap inside labels of 25 to 50 pixels, as the design's
    // 9-point window font does.
    QFont windowFont = client_->font();
    windowFont.setPixelSize(10);
    client_->setFont(windowFont);
    setCentralWidget(client_);
    // The menus come with a later issue; the bar has its place already so that the client
    // area keeps its size when they do.
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
    wire();
    // The window is fixed at its design size, menu bar included.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    statusEdit_->setFocus();
    form_->Form_Load();
}

MainWindow::~MainWindow() = default;

QPushButton* MainWindow::makeButton(const char* name, const char* caption, int left, int top,
                                    int width, int height) {
    auto* button = new QPushButton(QString::fromLatin1(caption), client_);
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
    field->installEventFilter(this);
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
    for (QWidget* w : {static_cast<QWidget*>(statusEdit_), static_cast<QWidget*>(cbUser_),
                       static_cast<QWidget*>(cbBoot_), static_cast<QWidget*>(cbWrite_),
                       static_cast<QWidget*>(cbNMI_), static_cast<QWidget*>(cbReset_)})
        w->installEventFilter(this);
}

QLabel* MainWindow::label(const char* name) const {
    return client_->findChild<QLabel*>(QString::fromLatin1(name));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    form_->Form_Unload();
}

// Every key of the window's controls passes here before the control sees it.
bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && keyCommand(static_cast<QKeyEvent*>(event)))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::keyCommand(QKeyEvent*) {
    return false;
}

}  // namespace quill::app
