#include "ui/TForm1.h"

#include "calibration/CalibrationTransfer.h"
#include "calibration/Rounding.h"
#include "calibration/SettingsFile.h"
#include "link/Connection.h"
#include "link/PortNaming.h"
#include "mapeditor/MapChartWidget.h"
#include "ui/EditSafetyNet.h"
#include "ui/TCommsLostFrm.h"
#include "ui/TExtWrn.h"
#include "ui/TForm2.h"
#include "ui/TSaveFrm.h"
#include "ui/TSerialFrm.h"
#include "ui/TTPSCalForm.h"
#include "ui/TVerChk.h"
#include "ui/ToolIcons.h"
#include "ui/TuneCompareDialog.h"
#include "ui/UiPrompts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>
#include <cmath>
#include <utility>

const QString TForm1::kCaption = QStringLiteral("Dorvanta - EMU Interface - v1.13.b");
const QString TForm1::kApplicationTitle = QStringLiteral("Dorvanta - Engine Management Unit");

namespace {

// The wait pointer for the length of a transfer.
struct BusyPointer {
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

constexpr int kSetupBlockCopy = EmuLength::kSetupBlock;
constexpr double kPrintMarginPercent = 10;

// Vehicle texts are saved between "~" marks on one line of the settings file.
class VehicleTextValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        if (input.size() > SettingsFile::kVehicleFieldMaxLength || !SettingsFile::isValidVehicleText(input))
            return Invalid;
        return Acceptable;
    }
};

QLineEdit* infoBox(QWidget* parent, const char* name, const QString& caption, int width = 0) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setReadOnly(true);
    box->setAccessibleName(caption);
    if (width > 0)
        box->setFixedWidth(width);
    return box;
}

QLineEdit* vehicleBox(QWidget* parent, const char* name, const QString& caption) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setMaxLength(SettingsFile::kVehicleFieldMaxLength);
    box->setValidator(new VehicleTextValidator(box));
    box->setAccessibleName(caption);
    return box;
}

} // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent), link_(state_.link), editor_(state_, link_),
      defaultPrompts_(std::make_unique<QtUiPrompts>()) {
    prompts_ = defaultPrompts_.get();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kCaption);
    setWindowIcon(toolIcon(ToolIcon::Connect));

    Timer2.setObjectName(QStringLiteral("Timer2"));
    Timer2.setInterval(20);
    connect(&Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);

    safetyNet_ = new EditSafetyNet(state_, link_, editor_,
                                   {this, [this]() -> UiPrompts& { return prompts(); },
                                    [this](const QString& text) { setStatus(0, text); },
                                    [this] {
                                        return VehicleInfo{Edit9->text(), Edit10->text(), Edit11->text()};
                                    }},
                                   this);
    // Whatever changed a map (a drag, undo, a journal sent again), its chart shows it once per
    // pass of the event loop.
    connect(&editor_, &CalibrationEditor::mapChanged, this, [this](MapId id) {
        if (pendingPlots_.isEmpty())
            QTimer::singleShot(0, this, [this] {
                for (int m : std::exchange(pendingPlots_, {}))
                    plotMap(static_cast<MapId>(m));
            });
        pendingPlots_.insert(mapIndex(id));
    });

    buildToolBar();
    buildPages();
    buildStatusBar();
    resize(1180, 780);

    // The other windows, in their fixed order; all are shown on demand.
    aboutForm_ = new TForm2(*this);
    tpsCalForm_ = new TTPSCalForm(*this);
    serialForm_ = new TSerialFrm(*this);
    saveForm_ = new TSaveFrm(*this);
    commsLostForm_ = new TCommsLostFrm(*this);
    extWrn_ = new TExtWrn(*this);
    verChk_ = new TVerChk(*this);
    compareDialog_ = new TuneCompareDialog(
        state_, [this](MapId id) { return chart(QString::fromLatin1(mapInfo(id).chart)); }, this);

    qApp->installEventFilter(this);
}

TForm1::~TForm1() {
    qApp->removeEventFilter(this);
    link_.stopPoll();
    Timer2.stop();
    link_.port().Close();
}

// ---------------------------------------------------------------------------------------------
// Building the window

QToolButton* TForm1::toolButton(const char* name, const QString& hint, const QIcon& icon) {
    auto* button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    button->setIcon(icon);
    button->setIconSize(QSize(26, 26));
    button->setAutoRaise(true);
    // Reached with Tab; a click leaves the focus where the user was working.
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

void TForm1::buildToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("Tool bar"));
    bar->setObjectName(QStringLiteral("ToolBar1"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->toggleViewAction()->setEnabled(false);

    spOpen = toolButton("spOpen", QStringLiteral("Open file"), toolIcon(ToolIcon::Open));
    spCompare = toolButton("spCompare", QStringLiteral("Compare with file..."), toolIcon(ToolIcon::Compare));
    spClose = toolButton("spClose", QStringLiteral("Close all"), toolIcon(ToolIcon::CloseAll));
    spSave = toolButton("spSave", QStringLiteral("Save settings"), toolIcon(ToolIcon::Save));
    spPrint = toolButton("spPrint", QStringLiteral("Print"), toolIcon(ToolIcon::Print));
    spUndo = toolButton("spUndo", QStringLiteral("Undo (Ctrl+Z)"), toolIcon(ToolIcon::Undo));
    spRedo = toolButton("spRedo", QStringLiteral("Redo (Ctrl+Shift+Z)"), toolIcon(ToolIcon::Redo));

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setToolTip(QStringLiteral("Sellect COM port"));
    ComboBox1->setAccessibleName(QStringLiteral("Sellect COM port"));
    ComboBox1->setMinimumContentsLength(6);
    ComboBox1->setEditText(QStringLiteral("Com1"));

    spRetry = toolButton("spRetry", QStringLiteral("Refresh Com Port"), toolIcon(ToolIcon::Refresh));
    spConnect = toolButton("spConnect", QStringLiteral("Connect"), toolIcon(ToolIcon::Connect));
    spRead = toolButton("spRead", QStringLiteral("Read from EMU"), toolIcon(ToolIcon::Read));
    spWrite = toolButton("spWrite", QStringLiteral("Write to EMU"), toolIcon(ToolIcon::Write));
    SpeedButton3 = toolButton("SpeedButton3", QStringLiteral("Enable/Disable mouse tuning"),
                              toolIcon(ToolIcon::MouseTuning));
    SpeedButton3->setCheckable(true);

    AnalogEn = new QCheckBox(QStringLiteral("Analog Signals"), this);
    AnalogEn->setObjectName(QStringLiteral("AnalogEn"));
    AnalogEn->setChecked(true);
    AnalogEn->setEnabled(false);
    RT_Track = new QCheckBox(QStringLiteral("Realtime Tracking"), this);
    RT_Track->setObjectName(QStringLiteral("RT_Track"));
    RT_Track->setEnabled(false);

    spAbout = toolButton("spAbout", QStringLiteral("About"), toolIcon(ToolIcon::About));
    spExit = toolButton("spExit", QStringLiteral("Exit"), toolIcon(ToolIcon::Exit));

    bar->addWidget(spOpen);
    bar->addWidget(spCompare);
    bar->addWidget(spClose);
    bar->addWidget(spSave);
    bar->addWidget(spPrint);
    bar->addSeparator();
    bar->addWidget(spUndo);
    bar->addWidget(spRedo);
    bar->addSeparator();
    bar->addWidget(ComboBox1);
    bar->addWidget(spRetry);
    bar->addWidget(spConnect);
    bar->addWidget(spRead);
    bar->addWidget(spWrite);
    bar->addSeparator();
    bar->addWidget(SpeedButton3);
    bar->addSeparator();
    bar->addWidget(AnalogEn);
    bar->addWidget(RT_Track);
    auto* spacer = new QWidget(this);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);
    bar->addWidget(spAbout);
    bar->addWidget(spExit);

    // The "Searching" state: only the port controls, the file commands and Exit work.
    spConnect->setEnabled(false);
    spRead->setEnabled(false);
    spWrite->setEnabled(false);

    connect(spOpen, &QToolButton::clicked, this, &TForm1::spOpenClick);
    connect(spCompare, &QToolButton::clicked, this, &TForm1::spCompareClick);
    connect(spClose, &QToolButton::clicked, this, &TForm1::spCloseClick);
    connect(spSave, &QToolButton::clicked, this, &TForm1::spSaveClick);
    connect(spPrint, &QToolButton::clicked, this, &TForm1::spPrintClick);
    connect(spUndo, &QToolButton::clicked, safetyNet_, &EditSafetyNet::undo);
    connect(spRedo, &QToolButton::clicked, safetyNet_, &EditSafetyNet::redo);
    connect(safetyNet_->undoAction(), &QAction::changed, spUndo,
            [this] { spUndo->setEnabled(safetyNet_->undoAction()->isEnabled()); });
    connect(safetyNet_->redoAction(), &QAction::changed, spRedo,
            [this] { spRedo->setEnabled(safetyNet_->redoAction()->isEnabled()); });
    spUndo->setEnabled(false);
    spRedo->setEnabled(false);
    connect(ComboBox1, &QComboBox::textActivated, this, &TForm1::ComboBox1Change);
    connect(ComboBox1->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        // A typed text that matches an item arrives through textActivated already.
        if (ComboBox1->findText(ComboBox1->currentText()) < 0)
            ComboBox1Change();
    });
    connect(spRetry, &QToolButton::clicked, this, &TForm1::spRetryClick);
    connect(spConnect, &QToolButton::clicked, this, &TForm1::spConnectClick);
    connect(spRead, &QToolButton::clicked, this, &TForm1::spReadClick);
    connect(spWrite, &QToolButton::clicked, this, &TForm1::spWriteClick);
    connect(AnalogEn, &QCheckBox::clicked, this, &TForm1::AnalogEnClick);
    connect(spAbout, &QToolButton::clicked, this, &TForm1::spAboutClick);
    connect(spExit, &QToolButton::clicked, this, &TForm1::spExitClick);
}

void TForm1::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(true);
    const std::array<int, 3> widths{270, 300, 270};
    const std::array<Qt::Alignment, 3> alignments{Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignCenter,
                                                  Qt::AlignRight | Qt::AlignVCenter};
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFixedWidth(widths[i]);
        panel->setAlignment(alignments[i]);
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setContentsMargins(4, 0, 4, 0);
        bar->addWidget(panel);
        statusPanels_[i] = panel;
    }
    setStatus(0, Connection::kSearching);
}

void TForm1::buildPages() {
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setAccessibleName(QStringLiteral("Pages"));
    PageControl1->addTab(buildSetupPage(), QStringLiteral("Setup"));
    PageControl1->addTab(buildChartPage({QStringLiteral("TimingChart"), QStringLiteral("VacuumChart")}),
                         QStringLiteral("Timing Map"));
    PageControl1->addTab(buildChartPage({QStringLiteral("FuelVacChart"), QStringLiteral("FuelRPMChart")}),
                         QStringLiteral("Fuel Maps"));

    // Correction Maps: water temperature on its own panel (enabled with the fuel maps), the air
    // temperature and voltage curves beside it.
    auto* corrections = new QWidget(this);
    corrections->setObjectName(QStringLiteral("TabSheet4"));
    auto* grid = new QGridLayout(corrections);
    tempPanel_ = new QWidget(corrections);
    tempPanel_->setObjectName(QStringLiteral("TempPanel"));
    auto* tempLayout = new QVBoxLayout(tempPanel_);
    tempLayout->setContentsMargins(0, 0, 0, 0);
    TempChart = new MapChartWidget(*mapChartSetup("TempChart"), tempPanel_);
    tempLayout->addWidget(chartPanel(TempChart));
    tempPanel_->setEnabled(false);
    AirTmpChart = new MapChartWidget(*mapChartSetup("AirTmpChart"), corrections);
    VoltageChart = new MapChartWidget(*mapChartSetup("VoltageChart"), corrections);
    grid->addWidget(tempPanel_, 0, 0);
    grid->addWidget(chartPanel(AirTmpChart), 0, 1);
    grid->addWidget(chartPanel(VoltageChart), 1, 0, 1, 2);
    PageControl1->addTab(corrections, QStringLiteral("Correction Maps"));

    auto* logger = new QWidget(this);
    logger->setObjectName(QStringLiteral("TabSheet5"));
    new QVBoxLayout(logger);
    PageControl1->addTab(logger, QStringLiteral("Data Logger"));
    auto* monitor = new QWidget(this);
    monitor->setObjectName(QStringLiteral("TabSheet6"));
    new QVBoxLayout(monitor);
    PageControl1->addTab(monitor, QStringLiteral("Engine Monitor"));

    for (int i = 0; i < PageControl1->count(); ++i)
        if (PageControl1->widget(i)->objectName().isEmpty())
            PageControl1->widget(i)->setObjectName(QStringLiteral("TabSheet%1").arg(i + 1));
    setCentralWidget(PageControl1);
}

QWidget* TForm1::buildSetupPage() {
    auto* page = new QWidget(this);
    auto* layout = new QHBoxLayout(page);

    auto* left = new QVBoxLayout;
    auto* version = new QGroupBox(QStringLiteral("EMU Version Information"), page);
    version->setObjectName(QStringLiteral("VersionPanel"));
    auto* versionForm = new QFormLayout(version);
    Edit7 = infoBox(version, "Edit7", QStringLiteral("EMU Model"));
    Edit6 = infoBox(version, "Edit6", QStringLiteral("EMU Version"));
    Edit8 = infoBox(version, "Edit8", QStringLiteral("EMU Frimware Release"));
    Edit66 = infoBox(version, "Edit66", QStringLiteral("EMU Frimware Release letter"), 32);
    Edit66->setMaxLength(1);
    Edit18 = infoBox(version, "Edit18", QStringLiteral("EMU Type"));
    auto* release = new QHBoxLayout;
    release->addWidget(Edit8);
    release->addWidget(Edit66);
    versionForm->addRow(QStringLiteral("EMU Model"), Edit7);
    versionForm->addRow(QStringLiteral("EMU Version"), Edit6);
    versionForm->addRow(QStringLiteral("EMU Frimware Release"), release);
    versionForm->addRow(QStringLiteral("EMU Type"), Edit18);

    auto* vehicle = new QGroupBox(QStringLiteral("Vehicle Information"), page);
    vehicle->setObjectName(QStringLiteral("VehiclePanel"));
    auto* vehicleForm = new QFormLayout(vehicle);
    Edit9 = vehicleBox(vehicle, "Edit9", QStringLiteral("Vehicle Make"));
    Edit10 = vehicleBox(vehicle, "Edit10", QStringLiteral("Vehicle Model"));
    Edit11 = vehicleBox(vehicle, "Edit11", QStringLiteral("Engine Type"));
    vehicleForm->addRow(QStringLiteral("Vehicle Make"), Edit9);
    vehicleForm->addRow(QStringLiteral("Vehicle Model"), Edit10);
    vehicleForm->addRow(QStringLiteral("Engine Type"), Edit11);

    left->addWidget(version);
    left->addWidget(vehicle);
    left->addStretch();

    // The parameter panels; their controls are bound by the setup editor.
    auto* right = new QVBoxLayout;
    setupPanel_ = new QFrame(page);
    setupPanel_->setObjectName(QStringLiteral("SetupPanel"));
    setupPanel_->setAccessibleName(QStringLiteral("Setup parameters"));
    static_cast<QFrame*>(setupPanel_)->setFrameShape(QFrame::StyledPanel);
    new QHBoxLayout(setupPanel_);
    setupPanel_->setEnabled(false);
    outputPanel_ = new QGroupBox(QStringLiteral("General Purpose Output"), page);
    outputPanel_->setObjectName(QStringLiteral("OutputPanel"));
    new QHBoxLayout(outputPanel_);
    outputPanel_->setEnabled(false);
    right->addWidget(setupPanel_, 3);
    right->addWidget(outputPanel_, 1);

    layout->addLayout(left, 0);
    layout->addLayout(right, 1);
    return page;
}

QWidget* TForm1::chartPanel(MapChartWidget* chart) {
    const ChartReadoutSetup& r = chart->setup().readout;
    auto* panel = new QWidget(chart->parentWidget());
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    chart->setParent(panel);
    layout->addWidget(chart, 1);

    auto* readouts = new QHBoxLayout;
    const auto addReadout = [&](const char* name, const char* caption) {
        auto* label = new QLabel(QString::fromUtf8(caption), panel);
        label->setObjectName(QString::fromLatin1(name) + QStringLiteral("Caption"));
        auto* box = new QLineEdit(panel);
        box->setObjectName(QString::fromLatin1(name));
        box->setReadOnly(true);
        box->setFixedWidth(70);
        box->setAccessibleName(QString::fromUtf8(chart->setup().title) + QLatin1Char(' ') +
                               QString::fromUtf8(caption));
        label->setBuddy(box);
        label->setVisible(r.visibleAtStart);
        box->setVisible(r.visibleAtStart);
        readouts->addWidget(label);
        readouts->addWidget(box);
    };
    readouts->addStretch();
    addReadout(r.valueBox, r.valueCaption);
    readouts->addSpacing(16);
    addReadout(r.positionBox, r.positionCaption);
    readouts->addStretch();
    layout->addLayout(readouts);
    return panel;
}

QWidget* TForm1::buildChartPage(const QStringList& charts) {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    for (const QString& name : charts) {
        auto* chart = new MapChartWidget(*mapChartSetup(name.toLatin1().constData()), page);
        if (name == QLatin1String("TimingChart"))
            TimingChart = chart;
        else if (name == QLatin1String("VacuumChart"))
            VacuumChart = chart;
        else if (name == QLatin1String("FuelVacChart"))
            FuelVacChart = chart;
        else if (name == QLatin1String("FuelRPMChart"))
            FuelRPMChart = chart;
        layout->addWidget(chartPanel(chart), 1);
    }
    return page;
}

// ---------------------------------------------------------------------------------------------
// Small services

void TForm1::setPrompts(UiPrompts* prompts) {
    prompts_ = prompts ? prompts : defaultPrompts_.get();
}

UiPrompts& TForm1::prompts() {
    return *prompts_;
}

QString TForm1::statusText(int panel) const {
    if (panel < 0 || panel >= static_cast<int>(statusPanels_.size()))
        return {};
    return statusPanels_[static_cast<size_t>(panel)]->text();
}

void TForm1::setStatus(int panel, const QString& text) {
    if (panel < 0 || panel >= static_cast<int>(statusPanels_.size()))
        return;
    QLabel* label = statusPanels_[static_cast<size_t>(panel)];
    label->setText(text);
    label->setToolTip(text);
    // The flows block the event loop for their pauses; paint the message now so it is seen.
    if (label->isVisible())
        label->repaint();
}

MapChartWidget* TForm1::chart(const QString& name) const {
    return findChild<MapChartWidget*>(name);
}

void TForm1::showOverDisabled(QWidget* dialog) {
    setEnabled(false);
    // A dialog is a child of this window; disabling the window disabled it too.
    dialog->setEnabled(true);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

bool TForm1::openPort() {
    if (link_.port().Open())
        return true;
    notePortProblem();
    return false;
}

void TForm1::notePortProblem() {
    const QString device = link_.port().LastOpenDevice();
    const QString text =
        Connection::portProblemText(link_.port().LastOpenError(), link_.port().Port(), device);
    if (text.isEmpty() || notifiedDevices_.contains(device))
        return;
    notifiedDevices_.insert(device);
    pendingNotices_.append(text);
}

void TForm1::flushPortNotices() {
    const QStringList notices = std::exchange(pendingNotices_, {});
    for (const QString& text : notices)
        prompts().showWarning(this, text);
}

std::optional<int> TForm1::portFromSelector() {
    QString error;
    const auto port = Connection::parsePortNumber(ComboBox1->currentText(), &error);
    if (!port)
        prompts().showError(this, error);
    return port;
}

void TForm1::setSelectorText(const QString& text) {
    ComboBox1->setEditText(text);
}

void TForm1::addSelectorItem(const QString& text) {
    // Adding the first item would otherwise replace the text the selector shows.
    const QString shown = ComboBox1->currentText();
    const int port = Connection::parsePortNumber(text).value_or(0);
    ComboBox1->addItem(text);
    ComboBox1->setItemData(ComboBox1->count() - 1, PortNaming::devicePath(port), Qt::ToolTipRole);
    ComboBox1->setEditText(shown);
}

void TForm1::disablePortControls(bool includingConnect) {
    ComboBox1->setEnabled(false);
    spRetry->setEnabled(false);
    if (includingConnect)
        spConnect->setEnabled(false);
}

void TForm1::startRealTimePoll() {
    link_.startPoll();
}

void TForm1::stopThrottlePoll() {
    Timer2.stop();
}

// ---------------------------------------------------------------------------------------------
// Start-up and connection

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!firstShow_)
        return;
    firstShow_ = false;
    PageControl1->setFocus();
    // Let the window appear before the search blocks it.
    QTimer::singleShot(50, this, &TForm1::FormShow);
}

void TForm1::FormShow() {
    LinkState& link = state_.link;
    move(x(), 0);
    bool found = false;
    for (int n = PortNaming::kFirstPort; n <= PortNaming::kLastPort; ++n) {
        link_.port().setPort(n);
        if (!openPort())
            continue;
        addSelectorItem(PortNaming::portName(n));
        link.Identity = EmuIdentity::fromReply(link_.protocol().identify(EmuPause::kIdentifySearch));
        if (link.Identity.isLiveUnit()) {
            const QString type = EmuIdentity::searchTypeText(link.Identity.model());
            if (!type.isEmpty())
                link.EmuTypeText = type;
            setStatus(0, Connection::searchFoundText(link.EmuTypeText, n));
            setSelectorText(PortNaming::portName(n));
            link.Identity.fill(kReplyFillByte);
            found = true;
            spRetry->setEnabled(false);
            spConnect->setEnabled(true);
        } else if (!found) {
            setStatus(0, Connection::kNoEmuPresent);
        }
        link_.port().Close();
    }
    if (!found)
        setStatus(0, Connection::kNoEmuPresent);
    PageControl1->setCurrentIndex(0);
    startupSearchDone_ = true;
    flushPortNotices();
    emit startupSearchFinished();
}

void TForm1::spRetryClick() {
    LinkState& link = state_.link;
    const QString shown = ComboBox1->currentText();
    ComboBox1->clear();
    setSelectorText(shown);
    link_.port().Close();
    bool found = false;
    for (int n = PortNaming::kFirstPort; n <= PortNaming::kLastPort; ++n) {
        link_.port().setPort(n);
        if (!openPort())
            continue;
        // The port the lost-link dialog reopens: the unit's once one has answered.
        if (!found)
            link.SelectedPort = n;
        addSelectorItem(PortNaming::portName(n));
        const EmuIdentity id = EmuIdentity::fromReply(link_.protocol().identify(EmuPause::kIdentifyRefresh));
        link.Identity = id;
        if (id.isLiveUnit() && !found) {
            setStatus(0, Connection::refreshFoundText(id, n));
            setSelectorText(PortNaming::portName(n));
            spRetry->setEnabled(false);
            spConnect->setEnabled(true);
            found = true;
        } else if (!found) {
            setStatus(0, Connection::kNoEmuPresent);
        }
        link_.port().Close();
    }
    if (!found)
        setStatus(0, Connection::kNoEmuPresent);
    flushPortNotices();
}

void TForm1::ComboBox1Change() {
    if (ComboBox1->currentText().isEmpty())
        return;
    const auto port = portFromSelector();
    if (!port)
        return;
    state_.link.SelectedPort = *port;
    link_.port().Close();
    link_.port().setPort(*port);
    openPort();
    flushPortNotices();
}

bool TForm1::identifyOnSelectedPort() {
    setStatus(0, Connection::kSearching);
    const auto port = portFromSelector();
    if (!port)
        return false;
    link_.port().setPort(*port);
    openPort();
    lastIdentifyReply_ = link_.identifyReply(EmuPause::kIdentifyConnect);
    state_.link.Identity = EmuIdentity::fromReply(lastIdentifyReply_);
    return true;
}

bool TForm1::identityIsCut() const {
    const auto n = lastIdentifyReply_.size();
    return n > 0 && n < EmuLength::kIdentity;
}

void TForm1::spConnectClick() {
    LinkState& link = state_.link;
    CalibrationData& cal = state_.cal;

    if (!link.FileDataShown) {
        if (!link.FileMode && !identifyOnSelectedPort())
            return;
        if (!link.FileMode && identityIsCut()) {
            // Part of an identity is no unit to describe: keep everything as it was.
            setStatus(0, Connection::cutIdentityText(static_cast<int>(lastIdentifyReply_.size())));
            flushPortNotices();
            return;
        }
        const EmuIdentity& id = link.Identity;
        const bool live = id.isLiveUnit();
        const bool fromFile = id.isFromFile();
        if (fromFile)
            setStatus(0, Connection::kFileOpened);
        else if (!live)
            setStatus(0, Connection::kEmuNotConnected);
        else
            link.EmuConnected = true;

        if (live || fromFile) {
            if (live)
                setStatus(0, Connection::kEmuConnected);
            link.FirmwareVersionText = id.firmwareVersionText();
            const QString letter = id.releaseLetter();
            if (!letter.isEmpty())
                Edit66->setText(letter);
            const int compared = Connection::compareSoftwareVersion(link.FirmwareVersionText);
            if (compared != 0) {
                link.EmuConnected = false;
                link.VersionNoticeText =
                    Connection::versionNoticeText(link.FirmwareVersionText, compared > 0);
                setStatus(0, Connection::kEmuNotConnected);
                link.EmuTypeText = Connection::kEmuNotConnected;
                verChk_->show();
                verChk_->raise();
            }
            const QString type = EmuIdentity::connectTypeText(id.model());
            if (!type.isEmpty()) {
                link.EmuTypeText = type;
                setFamiliesForModel(cal, id.model());
            }
            if (link.EmuTypeText != Connection::kEmuNotConnected)
                setStatus(2, link.EmuTypeText);
            if (link.EmuConnected || link.FileMode) {
                Edit18->setText(link.EmuTypeText);
                if (link.FileMode)
                    link.SetupChanged = true;
            }
        }

        // The setup block is read even when nothing answered: it then holds the fill pattern. A live
        // unit's cut reply is not a setup block: the window keeps what it held and says so.
        if (!link.FileMode) {
            setStatus(0, Connection::kReadingSetup);
            const ImageRead read = link_.readImage();
            if (link.Identity.isLiveUnit() && !read.complete()) {
                setStatus(0, read.shortText());
                spRead->setEnabled(true);
                flushPortNotices();
                return;
            }
            CalibrationTransfer::storeSetupBlock(cal, read.reply);
        } else {
            const QByteArray fileImage(reinterpret_cast<const char*>(cal.ReceivedImage.data()),
                                       kSetupBlockCopy);
            CalibrationTransfer::storeSetupBlock(cal, fileImage);
        }
    }

    showSetupBlock();

    spRead->setEnabled(true);
    setupPanel_->setEnabled(true);
    outputPanel_->setEnabled(true);
    if (link.EmuConnected) {
        spConnect->setEnabled(false);
        ComboBox1->setEnabled(false);
        setStatus(0, Connection::kReady);
    }

    link.DataReady = true;
    if (link.FileDataShown)
        spConnect->setEnabled(true);

    if (link.FileDataShown) {
        if (!identifyOnSelectedPort())
            return;
        if (!link.Identity.isLiveUnit()) {
            setStatus(0, Connection::kEmuNotConnected);
        } else {
            setStatus(0, Connection::kEmuConnected);
            setStatus(1, Connection::unitDescription(link.Identity));
            link.EmuConnected = true;
            spConnect->setEnabled(false);
            ComboBox1->setEnabled(false);
            spRead->setEnabled(false);
        }
    }
    flushPortNotices();

    if (link.EmuConnected)
        spReadClick();
    safetyNet_->unitReady();
}

void TForm1::showSetupBlock() {
    LinkState& link = state_.link;
    CalibrationData& cal = state_.cal;
    deriveSetupValues(cal);
    link.SerialNumberText = Connection::serialNumberText(cal.SetupBlock.data());
    Edit6->setText(QString::number(link.Identity.firmwareVersion()));
    Edit7->setText(QString::number(link.Identity.model()));
    Edit8->setText(QString::number(link.Identity.firmwareRelease()));
    // Only a unit (or a file's identity) is described; nothing that answered is no unit.
    if (link.Identity.isLiveUnit() || link.Identity.isFromFile())
        setStatus(1, Connection::unitDescription(link.Identity, link.SerialNumberText));
    else
        setStatus(1, QString());
    configureChartsForFamilies();
}

void TForm1::configureChartsForFamilies() {
    const CalibrationData& cal = state_.cal;
    const double rpmAxis = cal.RpmRange / 100.0;
    const double vacuumAxis = cal.VacuumRange / 10.0;
    if (cal.HasTimingMaps) {
        TimingChart->setBottomMaximum(roundHalfEven(rpmAxis));
        TimingChart->setEnabled(true);
    }
    if (cal.HasVacuumMap) {
        VacuumChart->setEnabled(true);
        VacuumChart->setBottomMaximum(vacuumAxis + 0.2);
        if (vacuumAxis < 2)
            VacuumChart->setBottomStep(0.1);
    }
    if (cal.HasFuelMaps) {
        for (MapChartWidget* c : {FuelVacChart, FuelRPMChart, TempChart, AirTmpChart, VoltageChart})
            c->setEnabled(true);
        tempPanel_->setEnabled(true);
        FuelVacChart->setBottomMaximum(std::round((vacuumAxis + 0.2) * 100) / 100);
        FuelRPMChart->setBottomMaximum(rpmAxis);
    }
}

// ---------------------------------------------------------------------------------------------
// Calibration transfer

void TForm1::plotMap(MapId id) {
    if (MapChartWidget* c = chart(QString::fromLatin1(mapInfo(id).chart)))
        c->plotMap(id, state_.cal);
}

void TForm1::plotFamilies() {
    const CalibrationData& cal = state_.cal;
    if (cal.HasTimingMaps) {
        plotMap(MapId::Timing);
        TimingChart->setEnabled(true);
    }
    if (cal.HasVacuumMap)
        plotMap(MapId::VacuumTiming);
    if (cal.HasFuelMaps) {
        for (MapId id : {MapId::FuelVacuum, MapId::FuelRpmCruise, MapId::FuelRpmLow, MapId::FuelRpmHigh,
                         MapId::WaterTemp, MapId::AirTempFuel, MapId::AirTempTiming, MapId::Voltage})
            plotMap(id);
    }
}

void TForm1::plotAllMaps() {
    for (const MapInfo& info : mapTable())
        plotMap(info.id);
    for (MapChartWidget* c : {TimingChart, VacuumChart, FuelVacChart, FuelRPMChart})
        c->clearRole(SeriesRole::Cursor);
}

void TForm1::updateWriteButton(bool wanted) {
    // Only a complete calibration may be written.
    spWrite->setEnabled(wanted && state_.link.CalibrationLoaded);
}

void TForm1::spReadClick() {
    LinkState& link = state_.link;
    CalibrationData& cal = state_.cal;
    Timer2.stop();
    if (!link.FileMode) {
        const BusyPointer busy;
        const ImageRead read = link_.readImage();
        if (!read.complete()) {
            // A cut reply is no calibration: the maps, the setup block and ReceivedImage stay as
            // they were, and the user may try again.
            setStatus(0, read.shortText());
            spRead->setEnabled(true);
            updateWriteButton(link.EmuConnected);
            flushPortNotices();
            return;
        }
        CalibrationTransfer::storeReceivedImage(cal, read.reply);
        // The image's first 101 bytes are the unit's setup block; a Connect whose own setup read
        // was cut is completed here.
        CalibrationTransfer::storeSetupBlock(cal, read.reply);
        showSetupBlock();
        if (link.EmuConnected) {
            spConnect->setEnabled(false);
            ComboBox1->setEnabled(false);
            setStatus(0, Connection::kReady);
        }
        link.CalibrationModel = link.Identity.isLiveUnit() ? link.Identity.model() : 0;
        safetyNet_->freshRead();
    }
    link.CalibrationLoaded = true;

    decodeImage(cal);
    plotFamilies();

    updateWriteButton(link.EmuConnected);
    spRead->setEnabled(false);

    if (link.FileMode) {
        link.FileDataShown = true;
        return;
    }
    AnalogEn->setEnabled(true);
    AnalogEn->setChecked(true);
    if (AnalogEn->isChecked())
        link_.startPoll();
    link.DataReady = true;
    RT_Track->setChecked(false);
    RT_Track->setEnabled(true);
}

WriteResult TForm1::writeToEmu() {
    LinkState& link = state_.link;
    CalibrationData& cal = state_.cal;
    WriteResult result;
    if (!link.CalibrationLoaded) {
        result.status = WriteResult::Status::NothingToWrite;
        setStatus(0, result.text());
        spWrite->setEnabled(false);
        return result;
    }
    {
        const BusyPointer busy;
        buildImage(cal);
        result = link_.writeCalibration(cal, link.CalibrationModel);
    }
    if (!result.ok()) {
        // The changes are still only on the PC: keep the flags and the button.
        setStatus(0, result.text());
        updateWriteButton(true);
        flushPortNotices();
        return result;
    }
    plotAllMaps();
    deriveSetupValues(cal);
    setStatus(0, Connection::kTableWritten);
    spRead->setEnabled(false);
    updateWriteButton(true);
    link.MapsChanged = false;
    link.SetupChanged = false;
    safetyNet_->unitStored();
    return result;
}

void TForm1::spWriteClick() {
    for (;;) {
        const WriteResult result = writeToEmu();
        if (result.ok() || !result.worthRetrying())
            return;
        if (!prompts().askRetry(this, result.text() + QStringLiteral("\n\nWrite the data to the EMU again?")))
            return;
    }
}

// ---------------------------------------------------------------------------------------------
// Files and printing

void TForm1::spSaveClick() {
    showOverDisabled(saveForm_);
}

bool TForm1::saveSettings(bool fromPc) {
    CalibrationData& cal = state_.cal;
    std::array<std::uint8_t, kImageSize> image{};
    if (fromPc) {
        image = CalibrationTransfer::imageFromPc(cal);
    } else {
        QString error;
        const EmuLink::FlowGuard flow(link_);
        const auto fromUnit = CalibrationTransfer::imageFromUnit(link_.protocol(), &error);
        if (!fromUnit) {
            prompts().showError(this, error);
            return false;
        }
        image = *fromUnit;
    }
    const VehicleInfo vehicle{Edit9->text(), Edit10->text(), Edit11->text()};
    if (const QString reason = SettingsFile::refusalReason(state_.link.Identity, vehicle);
        !reason.isEmpty()) {
        prompts().showError(this, reason);
        return false;
    }
    const QString path = prompts().askSaveFileName(this);
    if (path.isEmpty())
        return false;
    const QByteArray text = SettingsFile::write(state_.link.Identity, vehicle, image.data(), kImageReplySize);
    QString error;
    if (!SettingsFile::saveToFile(path, text, &error)) {
        prompts().showError(this, error);
        return false;
    }
    safetyNet_->unitStored();
    return true;
}

void TForm1::spOpenClick() {
    LinkState& link = state_.link;
    CalibrationData& cal = state_.cal;
    link.FileMode = false;
    const QString path = prompts().askOpenFileName(this);
    if (path.isEmpty())
        return;
    QString error;
    const auto text = SettingsFile::loadFromFile(path, &error);
    if (!text) {
        prompts().showError(this, error);
        return;
    }
    const auto contents = SettingsFile::read(*text);
    if (!contents) {
        cal.ReceivedImage.fill(kReplyFillByte);
        prompts().showError(this, SettingsFile::kRejectedText);
        return;
    }
    link.Identity = contents->identity;
    CalibrationTransfer::loadFileContents(cal, *contents);
    // A file always holds the whole image, for the model it was saved from.
    link.CalibrationLoaded = true;
    link.CalibrationModel = contents->identity.model();
    // Connect skips its copy once a file has been shown; a second file must still bring its own
    // setup block.
    const QByteArray fileImage(reinterpret_cast<const char*>(cal.ReceivedImage.data()), kSetupBlockCopy);
    CalibrationTransfer::storeSetupBlock(cal, fileImage);
    link.FileMode = true;
    Edit9->setText(contents->vehicle.make);
    Edit10->setText(contents->vehicle.model);
    Edit11->setText(contents->vehicle.engine);
    link.DataReady = true;
    safetyNet_->fileOpened();
    spConnectClick();
    spReadClick();
}

void TForm1::spCompareClick() {
    const QString path = prompts().askOpenFileName(this);
    if (path.isEmpty())
        return;
    if (const QString why = compareDialog_->compareWith(path); !why.isEmpty()) {
        prompts().showError(this, why);
        return;
    }
    compareDialog_->show();
    compareDialog_->raise();
}

void TForm1::spCloseClick() {
    TimingChart->clearAllSeries();
    VacuumChart->clearAllSeries();
    clearCalibration(state_.cal);
    if (auto* mainJet = findChild<QLineEdit*>(QStringLiteral("Edit28")))
        mainJet->clear();
    for (MapChartWidget* c : {TimingChart, VacuumChart, FuelVacChart, FuelRPMChart})
        c->setEnabled(false);
    state_.link.FileMode = false;
    // Nothing is left to write until a read or an open loads a whole calibration again.
    state_.link.CalibrationLoaded = false;
    state_.link.CalibrationModel = 0;
    spWrite->setEnabled(false);
    safetyNet_->closedAll();
}

void TForm1::spPrintClick() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!prompts().runPrintDialog(this, printer))
        return;

    QCPPainter painter;
    if (!painter.begin(&printer)) {
        prompts().showError(this, QStringLiteral("The printer could not be started."));
        return;
    }
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    // Margins are a share of the page on each side.
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    const QRectF area =
        page.adjusted(page.width() * kPrintMarginPercent / 100, page.height() * kPrintMarginPercent / 100,
                      -page.width() * kPrintMarginPercent / 100, -page.height() * kPrintMarginPercent / 100);
    const int width = std::max(TimingChart->width(), 800);
    const int height = std::max(TimingChart->height(), 450);
    const double scale = std::min(area.width() / width, area.height() / height);
    painter.translate(area.left() - page.left(), area.top() - page.top());
    painter.scale(scale, scale);
    TimingChart->toPainter(&painter, width, height);
    painter.end();
}

// ---------------------------------------------------------------------------------------------
// Link dialogs and the trigger output

void TForm1::selectTriggerInternal() {
    constexpr int kTriggerLevelId = 22;
    editor_.setSetupValue(kTriggerLevelId, 0);
}

void TForm1::clearTriggerExternal() {
    // The trigger-level choice lives on the Setup tab, which binds it.
}

void TForm1::showTriggerWarning() {
    showOverDisabled(extWrn_);
}

void TForm1::spAboutClick() {
    showOverDisabled(aboutForm_);
}

// ---------------------------------------------------------------------------------------------
// Live data (the poll itself is bound by the monitor)

void TForm1::AnalogEnClick() {
    if (AnalogEn->isChecked())
        link_.startPoll();
    else
        link_.stopPoll();
    RT_Track->setEnabled(AnalogEn->isChecked());
}

// The throttle calibration's poll is bound by the sensor calibration; until then a tick does nothing.
void TForm1::Timer2Timer() {
}

// ---------------------------------------------------------------------------------------------
// Keys and exit

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this)
        return false;
    // An ignored key travels up to the parents; the window sees it once, at its first receiver.
    if (event == previewedEvent_ && previewedReceiver_ && previewedReceiver_ != widget &&
        widget->isAncestorOf(previewedReceiver_))
        return false;
    previewedEvent_ = event;
    previewedReceiver_ = widget;
    auto* key = static_cast<QKeyEvent*>(event);
    return type == QEvent::KeyPress ? FormKeyDown(key) : FormKeyUp(key);
}

bool TForm1::FormKeyDown(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        spExitClick();
        return true;
    }
    return false;
}

bool TForm1::FormKeyUp(QKeyEvent*) {
    return false;
}

void TForm1::spExitClick() {
    close();
}

bool TForm1::confirmExit() {
    // After "Close all" the PC holds nothing to write or save.
    if (!state_.link.hasPendingChanges() || !state_.link.CalibrationLoaded)
        return true;
    switch (prompts().askUnsavedChanges(this)) {
    case UiPrompts::UnsavedChoice::WriteToEmu:
        return writeToEmu().ok();
    case UiPrompts::UnsavedChoice::SaveToFile:
        return saveSettings(true);
    case UiPrompts::UnsavedChoice::Discard:
        return true;
    case UiPrompts::UnsavedChoice::Cancel:
        return false;
    }
    return false;
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!confirmExit()) {
        event->ignore();
        return;
    }
    link_.stopPoll();
    Timer2.stop();
    link_.port().Close();
    for (QWidget* dialog : std::initializer_list<QWidget*>{aboutForm_, tpsCalForm_, serialForm_, saveForm_,
                                                           commsLostForm_, extWrn_, verChk_})
        dialog->hide();
    QMainWindow::closeEvent(event);
}
