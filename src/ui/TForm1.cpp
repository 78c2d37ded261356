#include "ui/TForm1.h"

#include "calibration/CalibrationTransfer.h"
#include "calibration/Rounding.h"
#include "calibration/SettingsFile.h"
#include "controls/CommitLineEdit.h"
#include "controls/ToolIcons.h"
#include "link/Connection.h"
#include "link/PortNaming.h"
#include "mapeditor/CorrectionMapsPage.h"
#include "mapeditor/FuelMapsPage.h"
#include "mapeditor/MapChartWidget.h"
#include "mapeditor/MapPages.h"
#include "mapeditor/TimingMapPage.h"
#include "monitor/DataLoggerPage.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/LiveDisplays.h"
#include "monitor/LiveMonitor.h"
#include "monitor/TRT.h"
#include "setup/SetupPage.h"
#include "tools/SensorWidgetBinder.h"
#include "tools/SerialNumberDialog.h"
#include "tools/TForm2.h"
#include "tools/TTPSCalForm.h"
#include "tools/ThrottleCalibration.h"
#include "ui/ChartPrinter.h"
#include "ui/EditSafetyNet.h"
#include "ui/RecentFiles.h"
#include "ui/TCommsLostFrm.h"
#include "ui/TExtWrn.h"
#include "ui/TSaveFrm.h"
#include "ui/TVerChk.h"
#include "ui/TuneCompareDialog.h"
#include "ui/UiPrompts.h"
#include "ui/WindowFit.h"
#include "ui/WindowSettings.h"
#include "ui/WindowTitle.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPrinter>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

const QString TForm1::kCaption = QStringLiteral("Dorvanta - EMU Interface - v1.13.b");
const QString TForm1::kApplicationTitle = QStringLiteral("Dorvanta - Engine Management Unit");
const QSize TForm1::kWindowSize{1180, 780};

namespace {

// The wait pointer for the length of a transfer.
struct BusyPointer {
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

constexpr int kSetupBlockCopy = EmuLength::kSetupBlock;

} // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent), link_(state_.link), editor_(state_, link_),
      defaultPrompts_(std::make_unique<QtUiPrompts>()), settings_(std::make_unique<WindowSettings>()) {
    prompts_ = defaultPrompts_.get();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kCaption);
    setWindowIcon(toolIcon(ToolIcon::Connect));

    safetyNet_ = new EditSafetyNet(state_, link_, editor_,
                                   {this, [this]() -> UiPrompts& { return prompts(); },
                                    [this](const QString& text) { setStatus(0, text); },
                                    [this] {
                                        return VehicleInfo{Edit9->text(), Edit10->text(), Edit11->text()};
                                    }},
                                   this);
    buildToolBar();
    buildPages();
    buildStatusBar();
    buildLiveMonitor();
    bindShortcuts();
    restoreWindowPlace();
    if (const auto port = settings_->lastPort())
        ComboBox1->setEditText(PortNaming::portName(*port));
    connect(&editor_, &CalibrationEditor::mapChanged, this, &TForm1::markUnsaved);
    connect(&editor_, &CalibrationEditor::setupValueChanged, this, &TForm1::markUnsaved);

    // The other windows, in their fixed order; all are shown on demand.
    aboutForm_ = new TForm2(*this, this);
    tpsCalForm_ = new TTPSCalForm(*this, this);
    serialForm_ = new TSerialFrm(*this, this);
    aboutForm_->setSerialForm(serialForm_);
    sensorBinder_ = new SensorWidgetBinder(*this, this);
    bindSensorCalibration();
    keepTabOnEditableBoxes();
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
    link_.stopThrottlePoll();
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
    for (int i = 0; i < 4; ++i)
        rtFrames_[static_cast<size_t>(i)] = new TRT(QStringLiteral("RT%1").arg(i + 1), this);
    PageControl1->addTab(buildSetupPage(), QStringLiteral("Setup"));
    mapPages_ = new MapPages(state_, editor_, this);
    // Each map page with its real-time frame at the right.
    PageControl1->addTab(withFrame(mapPages_->timingPage(), rtFrame(1)), QStringLiteral("Timing Map"));
    PageControl1->addTab(withFrame(mapPages_->fuelPage(), rtFrame(3)), QStringLiteral("Fuel Maps"));
    PageControl1->addTab(withFrame(mapPages_->correctionPage(), rtFrame(4)),
                         QStringLiteral("Correction Maps"));
    TimingChart = mapPages_->chart(ChartId::Timing);
    VacuumChart = mapPages_->chart(ChartId::Vacuum);
    FuelVacChart = mapPages_->chart(ChartId::FuelVacuum);
    FuelRPMChart = mapPages_->chart(ChartId::FuelRpm);
    TempChart = mapPages_->chart(ChartId::Water);
    AirTmpChart = mapPages_->chart(ChartId::Air);
    VoltageChart = mapPages_->chart(ChartId::Voltage);
    tempPanel_ = mapPages_->correctionPage()->tempPanel();
    connect(SpeedButton3, &QToolButton::toggled, mapPages_, &MapPages::SpeedButton3Click);
    mapPages_->fuelPage()->showError = [this](const QString& text) { prompts().showError(this, text); };

    dataLogger_ = new DataLoggerPage(state_, this);
    PageControl1->addTab(dataLogger_, QStringLiteral("Data Logger"));
    engineMonitor_ = new EngineMonitorPage(this);
    PageControl1->addTab(engineMonitor_, QStringLiteral("Engine Monitor"));

    for (int i = 0; i < PageControl1->count(); ++i)
        if (PageControl1->widget(i)->objectName().isEmpty())
            PageControl1->widget(i)->setObjectName(QStringLiteral("TabSheet%1").arg(i + 1));
    setCentralWidget(PageControl1);
}

QWidget* TForm1::buildSetupPage() {
    SetupPageHooks hooks;
    hooks.showError = [this](const QString& text) { prompts().showError(this, text); };
    hooks.showStatus = [this](const QString& text) { setStatus(0, text); };
    hooks.armWrite = [this] {
        spRead->setEnabled(false);
        updateWriteButton(true);
    };
    hooks.askTriggerExternal = [this] { showTriggerWarning(); };
    setupPage_ = new SetupPage(state_, editor_, std::move(hooks), this);
    connect(setupPage_, &SetupPage::fuelVacuumMarkerMoved, this, [this](int series, double x) {
        // The chart only shows for a unit with fuel maps.
        QCPBars* bars = FuelVacChart && state_.cal.HasFuelMaps ? FuelVacChart->bars(series) : nullptr;
        if (bars) {
            bars->data()->set({QCPBarsData(x, FuelVacChart->setup().yMax)});
            FuelVacChart->replot(QCustomPlot::rpQueuedReplot);
        }
    });
    Edit6 = setupPage_->infoBox("Edit6");
    Edit7 = setupPage_->infoBox("Edit7");
    Edit8 = setupPage_->infoBox("Edit8");
    Edit66 = setupPage_->infoBox("Edit66");
    Edit18 = setupPage_->infoBox("Edit18");
    Edit9 = setupPage_->infoBox("Edit9");
    Edit10 = setupPage_->infoBox("Edit10");
    Edit11 = setupPage_->infoBox("Edit11");
    // The tab's real-time frame goes in the place the page keeps for it.
    QWidget* place = setupPage_->realTimeFrame();
    place->setObjectName(QStringLiteral("RT2Place"));
    auto* placeLayout = new QVBoxLayout(place);
    placeLayout->setContentsMargins(0, 0, 0, 0);
    rtFrame(2)->setCompact(true);
    placeLayout->addWidget(rtFrame(2));
    setupPanel_ = setupPage_->parametersPanel();
    outputPanel_ = setupPage_->outputPanel();
    return setupPage_;
}

void TForm1::keepTabOnEditableBoxes() {
    // Tab walks the boxes a tuner types into; the read-only ones (the unit's version, the chart
    // read-outs) can still be clicked and copied from.
    for (QLineEdit* box : findChildren<QLineEdit*>())
        if (box->isReadOnly())
            box->setFocusPolicy(Qt::ClickFocus);
}

void TForm1::bindSensorCalibration() {
    // Each Calibrate button of the Setup tab reveals its calibration number field beside it; the
    // throttle's opens the throttle calibration. Refused numbers are said in the status bar, as is
    // a refused parameter 13 of the About window.
    sensorBinder_->bindSetupPage(*setupPage_, *tpsCalForm_);
    sensorBinder_->setStatusHook([this](const QString& text) { setStatus(0, text); });
    aboutForm_->setStatusHook([this](const QString& text) { setStatus(0, text); });
}

QWidget* TForm1::withFrame(QWidget* page, TRT* frame) {
    auto* sheet = new QWidget(this);
    auto* layout = new QHBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(page, 1);
    layout->addWidget(frame);
    return sheet;
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
    link_.stopThrottlePoll();
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
    if (!placeRestored_)
        move(x(), 0);
    std::optional<BusyPointer> busy;
    busy.emplace();
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
            rememberPort(n);
        } else if (!found) {
            setStatus(0, Connection::kNoEmuPresent);
        }
        link_.port().Close();
    }
    busy.reset();
    if (!found)
        setStatus(0, Connection::kNoEmuPresent);
    PageControl1->setCurrentIndex(0);
    startupSearchDone_ = true;
    flushPortNotices();
    if (!startupFile_.isEmpty())
        openFile(std::exchange(startupFile_, QString()));
    emit startupSearchFinished();
}

void TForm1::spRetryClick() {
    LinkState& link = state_.link;
    const QString shown = ComboBox1->currentText();
    ComboBox1->clear();
    setSelectorText(shown);
    link_.port().Close();
    std::optional<BusyPointer> busy;
    busy.emplace();
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
            rememberPort(n);
        } else if (!found) {
            setStatus(0, Connection::kNoEmuPresent);
        }
        link_.port().Close();
    }
    busy.reset();
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
    const BusyPointer busy;
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
            const ImageRead read = [this] {
                const BusyPointer busy;
                return link_.readImage();
            }();
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
    setupPage_->FillSetupTab();
    dataLogger_->selectInterval(DataLogClock::kDefaultNominalMs);
    liveDisplays_->setLambdaTarget(liveSettings(cal).lambdaTarget);

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

    if (link.EmuConnected) {
        if (const auto port = Connection::parsePortNumber(ComboBox1->currentText()))
            rememberPort(*port);
        spReadClick();
    }
    safetyNet_->unitReady();
}

void TForm1::showSetupBlock() {
    LinkState& link = state_.link;
    CalibrationData& cal = state_.cal;
    deriveSetupValues(cal);
    deriveThrottleCalibration(cal);
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
    mapPages_->configureForFamilies();
}

// ---------------------------------------------------------------------------------------------
// Calibration transfer

void TForm1::plotFamilies() {
    mapPages_->fillAfterRead();
}

void TForm1::plotAllMaps() {
    mapPages_->plotAllMaps();
}

void TForm1::updateWriteButton(bool wanted) {
    // Only a complete calibration may be written.
    spWrite->setEnabled(wanted && state_.link.CalibrationLoaded);
}

void TForm1::spReadClick() {
    LinkState& link = state_.link;
    CalibrationData& cal = state_.cal;
    link_.stopThrottlePoll();
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
        if (!setupPage_->filled()) {
            // A Connect whose setup read was cut left the tab empty.
            setupPage_->FillSetupTab();
            setupPanel_->setEnabled(true);
            outputPanel_->setEnabled(true);
        }
        if (link.EmuConnected) {
            spConnect->setEnabled(false);
            ComboBox1->setEnabled(false);
            setStatus(0, Connection::kReady);
        }
        link.CalibrationModel = link.Identity.isLiveUnit() ? link.Identity.model() : 0;
        // The unit's data, not a file's.
        setCurrentFile(QString(), false);
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
    setupPage_->refreshAfterWrite();
    setStatus(0, Connection::kTableWritten);
    spRead->setEnabled(false);
    updateWriteButton(true);
    link.MapsChanged = false;
    link.SetupChanged = false;
    unsaved_ = false;
    updateTitle();
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
        const auto fromUnit = [&] {
            const BusyPointer busy;
            const EmuLink::FlowGuard flow(link_);
            return CalibrationTransfer::imageFromUnit(link_.protocol(), &error);
        }();
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
    const QString path = prompts().askSaveFileName(this, settings_->saveFolder());
    if (path.isEmpty())
        return false;
    const QByteArray text = SettingsFile::write(state_.link.Identity, vehicle, image.data(), kImageReplySize);
    QString error;
    if (!SettingsFile::saveToFile(path, text, &error)) {
        prompts().showError(this, error);
        return false;
    }
    settings_->setSaveFolder(QFileInfo(path).absolutePath());
    noteRecentFile(path);
    setCurrentFile(path, false);
    setStatus(
        0, QStringLiteral("Saved to %1").arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())));
    safetyNet_->unitStored();
    return true;
}

void TForm1::spOpenClick() {
    state_.link.FileMode = false;
    const QString path = prompts().askOpenFileName(this, settings_->openFolder());
    if (path.isEmpty())
        return;
    openFile(path);
}

bool TForm1::openFile(const QString& path) {
    LinkState& link = state_.link;
    CalibrationData& cal = state_.cal;
    link.FileMode = false;
    QString error;
    const auto text = SettingsFile::loadFromFile(path, &error);
    if (!text) {
        prompts().showError(this, error);
        return false;
    }
    const auto contents = SettingsFile::read(*text);
    if (!contents) {
        cal.ReceivedImage.fill(kReplyFillByte);
        prompts().showError(this, SettingsFile::kRejectedText);
        return false;
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
    settings_->setOpenFolder(QFileInfo(path).absolutePath());
    noteRecentFile(path);
    setCurrentFile(path, false);
    safetyNet_->fileOpened();
    spConnectClick();
    spReadClick();
    return true;
}

void TForm1::spCompareClick() {
    const QString path = prompts().askOpenFileName(this, settings_->openFolder());
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
    clearCalibration(state_.cal);
    // Also forgets the active chart, so no later key release writes a point of the old data.
    mapPages_->closeAll();
    state_.link.FileMode = false;
    // Nothing is left to write until a read or an open loads a whole calibration again.
    state_.link.CalibrationLoaded = false;
    state_.link.CalibrationModel = 0;
    spWrite->setEnabled(false);
    setCurrentFile(QString(), false);
    safetyNet_->closedAll();
}

void TForm1::spPrintClick() {
    QPrinter printer(QPrinter::HighResolution);
    ChartPrinter::preparePrinter(printer);
    printer.setDocName(WindowTitle::compose(kCaption, currentFile_, false));
    if (!prompts().runPrintDialog(this, printer))
        return;
    const QString header = ChartPrinter::headerText({Edit9->text(), Edit10->text(), Edit11->text()},
                                                    statusText(1), QDate::currentDate());
    QString error;
    const BusyPointer busy;
    if (!ChartPrinter::print(printer, *TimingChart, header, &error)) {
        setStatus(0, QStringLiteral("Print failed"));
        prompts().showError(this, error);
        return;
    }
    setStatus(0, printer.outputFileName().isEmpty()
                     ? QStringLiteral("Timing map sent to %1").arg(printer.printerName())
                     : QStringLiteral("Timing map printed to %1")
                           .arg(QDir::toNativeSeparators(printer.outputFileName())));
}

// ---------------------------------------------------------------------------------------------
// Link dialogs and the trigger output

void TForm1::selectTriggerInternal() {
    setupPage_->selectTriggerInternal();
}

void TForm1::clearTriggerExternal() {
    setupPage_->clearTriggerExternal();
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

void TForm1::buildLiveMonitor() {
    liveMonitor_ = new LiveMonitor(state_, this);
    liveDisplays_ = new LiveDisplays(this);
    for (TRT* frame : rtFrames_)
        liveDisplays_->addFrame(frame);
    for (MapChartWidget* c :
         {TimingChart, VacuumChart, FuelVacChart, FuelRPMChart, TempChart, AirTmpChart, VoltageChart})
        liveDisplays_->addChart(c);
    liveDisplays_->setMonitorPage(engineMonitor_);
    connect(&link_, &EmuLink::frameReceived, liveMonitor_, &LiveMonitor::takeFrame);
    connect(liveMonitor_, &LiveMonitor::liveUpdated, liveDisplays_, &LiveDisplays::UpdateLiveDisplays);
    connect(liveMonitor_, &LiveMonitor::framesMissed, liveDisplays_, &LiveDisplays::setMissedFrames);
    connect(liveMonitor_, &LiveMonitor::linkLost, this, &TForm1::commsLost);
    // A silent unit says so in panel 0, unless a message came during the silence (a send that
    // did not reach the unit says more); the panel's earlier text comes back with the frames.
    auto statusBefore = std::make_shared<QString>();
    connect(liveMonitor_, &LiveMonitor::liveUpdated, this, [this, statusBefore](const LiveValues& v) {
        if (!v.stale && statusText(0) != LiveMonitor::kNoDataText)
            *statusBefore = statusText(0);
    });
    connect(liveMonitor_, &LiveMonitor::dataStopped, this, [this, statusBefore] {
        if (statusText(0) == *statusBefore)
            setStatus(0, LiveMonitor::kNoDataText);
    });
    connect(liveMonitor_, &LiveMonitor::framesResumed, this, [this, statusBefore] {
        if (statusText(0) == LiveMonitor::kNoDataText)
            setStatus(0, *statusBefore);
    });
    connect(spClose, &QToolButton::clicked, liveMonitor_, &LiveMonitor::calibrationChanged);
    connect(RT_Track, &QCheckBox::toggled, liveMonitor_, &LiveMonitor::setTracking);
    // Realtime tracking: the fuel curve for the load, and the chart cursors on the operating point,
    // so the keys edit the point the engine runs at.
    connect(liveMonitor_, &LiveMonitor::fuelCurveTracked, this, [this](FuelCurve curve) {
        static constexpr MapId kCurves[] = {MapId::FuelRpmCruise, MapId::FuelRpmLow, MapId::FuelRpmCruise,
                                            MapId::FuelRpmHigh};
        if (curve != FuelCurve::None)
            mapPages_->fuelPage()->selectFuelRpmCurve(kCurves[static_cast<int>(curve)]);
    });
    connect(liveMonitor_, &LiveMonitor::operatingPointTracked, this,
            [this](double rpmHundreds, double vacuum) {
                MapEditorState& editing = mapPages_->editing();
                editing.TimingCursorX = rpmHundreds;
                editing.FuelRpmCursorX = rpmHundreds;
                editing.VacuumCursorX = vacuum;
            });
    connect(&editor_, &CalibrationEditor::setupValueChanged, this,
            [this] { liveDisplays_->setLambdaTarget(liveSettings(state_.cal).lambdaTarget); });
}

void TForm1::commsLost() {
    link_.stopThrottlePoll();
    spRead->setEnabled(true);
    ComboBox1->setEnabled(true);
    spRetry->setEnabled(true);
    spConnect->setEnabled(true);
    commsLostForm_->show();
    commsLostForm_->raise();
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
    mapPages_->keyDown(*event, PageControl1->currentWidget(), previewedReceiver_);
    // Esc in a box with typed text puts the box's value back; it does not end the program.
    if (const auto* box = qobject_cast<const CommitLineEdit*>(QApplication::focusWidget());
        box && box->isPending())
        return false;
    if (event->key() == Qt::Key_Escape) {
        spExitClick();
        return true;
    }
    return false;
}

bool TForm1::FormKeyUp(QKeyEvent* event) {
    mapPages_->keyUp(*event);
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
    rememberWindowPlace();
    link_.stopPoll();
    link_.stopThrottlePoll();
    link_.port().Close();
    for (QWidget* dialog : std::initializer_list<QWidget*>{aboutForm_, tpsCalForm_, serialForm_, saveForm_,
                                                           commsLostForm_, extWrn_, verChk_})
        dialog->hide();
    QMainWindow::closeEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Desktop integration

void TForm1::restoreWindowPlace() {
    const std::optional<QRect> remembered = settings_->geometry();
    QScreen* shown = remembered ? QGuiApplication::screenAt(remembered->center()) : nullptr;
    if (!shown)
        shown = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect area =
        shown ? shown->availableGeometry() : QRect(0, 0, kWindowSize.width(), kWindowSize.height());
    setGeometry(WindowFit::place(kWindowSize, minimumSizeHint(), area, WindowFit::kTypicalFrame, remembered));
    placeRestored_ = remembered.has_value();
    if (settings_->maximized())
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TForm1::rememberWindowPlace() {
    settings_->setGeometry(isMaximized() ? normalGeometry() : geometry(), isMaximized());
    settings_->sync();
}

void TForm1::rememberPort(int port) {
    settings_->setLastPort(port);
    settings_->sync();
}

void TForm1::setCurrentFile(const QString& path, bool unsaved) {
    currentFile_ = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    unsaved_ = unsaved;
    updateTitle();
}

void TForm1::markUnsaved() {
    if (unsaved_)
        return;
    unsaved_ = true;
    updateTitle();
}

void TForm1::updateTitle() {
    setWindowTitle(WindowTitle::compose(kCaption, currentFile_, unsaved_));
    setWindowFilePath(currentFile_);
}

void TForm1::noteRecentFile(const QString& path) {
    RecentFiles recent(settings_->recentFiles());
    recent.add(path);
    settings_->setRecentFiles(recent.paths());
    settings_->sync();
}

void TForm1::fillRecentFilesMenu() {
    recentMenu_->clear();
    RecentFiles recent(settings_->recentFiles());
    if (recent.pruneMissing()) {
        settings_->setRecentFiles(recent.paths());
        settings_->sync();
    }
    if (recent.paths().isEmpty()) {
        recentMenu_->addAction(QStringLiteral("No recent files"))->setEnabled(false);
        return;
    }
    int number = 1;
    for (const QString& path : recent.paths()) {
        // Numbered for the keyboard: &1 .. &9, then 1&0.
        const QString label = QStringLiteral("%1 %2").arg(
            number < 10 ? QStringLiteral("&%1").arg(number) : QStringLiteral("1&0"),
            QFileInfo(path).fileName().replace(QLatin1Char('&'), QStringLiteral("&&")));
        QAction* action = recentMenu_->addAction(label);
        action->setToolTip(QDir::toNativeSeparators(path));
        action->setStatusTip(QDir::toNativeSeparators(path));
        action->setData(path);
        connect(action, &QAction::triggered, this, [this, path] { openFile(path); });
        ++number;
    }
}

void TForm1::bindShortcuts() {
    recentMenu_ = new QMenu(spOpen);
    recentMenu_->setObjectName(QStringLiteral("RecentFilesMenu"));
    recentMenu_->setToolTipsVisible(true);
    connect(recentMenu_, &QMenu::aboutToShow, this, &TForm1::fillRecentFilesMenu);
    spOpen->setMenu(recentMenu_);
    spOpen->setPopupMode(QToolButton::MenuButtonPopup);

    const std::initializer_list<std::pair<QToolButton*, QKeySequence>> keys{
        {spOpen, QKeySequence(Qt::CTRL | Qt::Key_O)},  {spSave, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {spPrint, QKeySequence(Qt::CTRL | Qt::Key_P)}, {spExit, QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {spAbout, QKeySequence(Qt::Key_F1)},           {spRetry, QKeySequence(Qt::Key_F5)}};
    for (const auto& [button, key] : keys) {
        auto* shortcut = new QShortcut(key, this);
        shortcut->setObjectName(button->objectName() + QStringLiteral("Shortcut"));
        // A disabled button ignores the click, so the key follows the button's state.
        connect(shortcut, &QShortcut::activated, button, &QToolButton::click);
        button->setToolTip(
            QStringLiteral("%1 (%2)").arg(button->accessibleName(), key.toString(QKeySequence::NativeText)));
    }
}
