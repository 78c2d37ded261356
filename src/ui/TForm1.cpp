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
#include "ui/MainToolBar.h"
#include "ui/RecentFilesMenu.h"
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
const QSize TForm1::kWindowSize{1180, 780};

namespace {

} // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent), defaultPrompts_(std::make_unique<QtUiPrompts>()), settings_(std::make_unique<WindowSettings>()) {
    prompts_ = defaultPrompts_.get();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kCaption);
    setWindowIcon(toolIcon(ToolIcon::Connect));

    safetyNet_ = new EditSafetyNet(state(), link(), editor(),
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
    restoreWindowPlace();
    if (const auto port = settings_->lastPort())
        bar_->ComboBox1->setEditText(PortNaming::portName(*port));

    // The other windows, in their fixed order; all are shown on demand.
    aboutForm_ = new TForm2(*this, this);
    tpsCalForm_ = new TTPSCalForm(*this, this);
    serialForm_ = new TSerialFrm(*this, this);
    aboutForm_->setSerialForm(serialForm_);
    sensorBinder_ = new SensorWidgetBinder(*this, this);
    bindSensorCalibration();
    keepTabOnEditableBoxes();
    saveForm_ = new TSaveFrm(state().link, this);
    connect(saveForm_, &TSaveFrm::saveChosen, this, [this](bool fromPc) { saveSettings(fromPc); });
    commsLostForm_ = new TCommsLostFrm(session_, this);
    connect(commsLostForm_, &TCommsLostFrm::uploadChosen, setupPage_, &SetupPage::clearTriggerExternal);
    extWrn_ = new TExtWrn(editor(), this);
    connect(extWrn_, &TExtWrn::revertRequested, setupPage_, &SetupPage::selectTriggerInternal);
    verChk_ = new TVerChk(state().link, this);
    bindSession();
    compareDialog_ = new TuneCompareDialog(
        state(), [this](MapId id) { return chart(QString::fromLatin1(mapInfo(id).chart)); }, this);

    qApp->installEventFilter(this);
}

TForm1::~TForm1() {
    qApp->removeEventFilter(this);
    link().stopPoll();
    link().stopThrottlePoll();
    link().close();
    // The undo history tells its actions when it is cleared; it goes while the window is whole.
    delete safetyNet_;
    safetyNet_ = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Building the window

void TForm1::buildToolBar() {
    bar_ = new MainToolBar(this);
    addToolBar(bar_);
    recentMenu_ = new RecentFilesMenu(*settings_, bar_->spOpen);
    connect(recentMenu_, &RecentFilesMenu::openRequested, this, &TForm1::openFile);
    bar_->spOpen->setMenu(recentMenu_);
    bar_->spOpen->setPopupMode(QToolButton::MenuButtonPopup);

    connect(bar_->spOpen, &QToolButton::clicked, this, &TForm1::spOpenClick);
    connect(bar_->spCompare, &QToolButton::clicked, this, &TForm1::spCompareClick);
    connect(bar_->spCompareEmu, &QToolButton::clicked, this, &TForm1::spCompareEmuClick);
    connect(bar_->spClose, &QToolButton::clicked, this, &TForm1::spCloseClick);
    connect(bar_->spSave, &QToolButton::clicked, this, &TForm1::spSaveClick);
    connect(bar_->spPrint, &QToolButton::clicked, this, &TForm1::spPrintClick);
    connect(bar_->spUndo, &QToolButton::clicked, safetyNet_, &EditSafetyNet::undo);
    connect(bar_->spRedo, &QToolButton::clicked, safetyNet_, &EditSafetyNet::redo);
    connect(safetyNet_->undoAction(), &QAction::changed, bar_->spUndo,
            [this] { bar_->spUndo->setEnabled(safetyNet_->undoAction()->isEnabled()); });
    connect(safetyNet_->redoAction(), &QAction::changed, bar_->spRedo,
            [this] { bar_->spRedo->setEnabled(safetyNet_->redoAction()->isEnabled()); });
    connect(bar_->ComboBox1, &QComboBox::textActivated, this, &TForm1::ComboBox1Change);
    connect(bar_->ComboBox1->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        // A typed text that matches an item arrives through textActivated already.
        if (bar_->ComboBox1->findText(bar_->ComboBox1->currentText()) < 0)
            ComboBox1Change();
    });
    connect(bar_->spRetry, &QToolButton::clicked, this, &TForm1::spRetryClick);
    connect(bar_->spConnect, &QToolButton::clicked, this, &TForm1::spConnectClick);
    connect(bar_->spRead, &QToolButton::clicked, this, &TForm1::spReadClick);
    connect(bar_->spWrite, &QToolButton::clicked, this, &TForm1::spWriteClick);
    connect(bar_->AnalogEn, &QCheckBox::clicked, this, &TForm1::AnalogEnClick);
    connect(bar_->spAbout, &QToolButton::clicked, this, &TForm1::spAboutClick);
    connect(bar_->spExit, &QToolButton::clicked, this, &TForm1::spExitClick);
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
    mapPages_ = new MapPages(state(), editor(), this);
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
    connect(bar_->SpeedButton3, &QToolButton::toggled, mapPages_, &MapPages::SpeedButton3Click);
    mapPages_->fuelPage()->showError = [this](const QString& text) { prompts().showError(this, text); };

    dataLogger_ = new DataLoggerPage(state(), this);
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
        bar_->spRead->setEnabled(false);
        updateWriteButton(true);
    };
    hooks.askTriggerExternal = [this] { showTriggerWarning(); };
    setupPage_ = new SetupPage(state(), editor(), std::move(hooks), this);
    connect(setupPage_, &SetupPage::fuelVacuumMarkerMoved, this, [this](int series, double x) {
        // The chart only shows for a unit with fuel maps.
        QCPBars* bars = FuelVacChart && state().cal.HasFuelMaps ? FuelVacChart->bars(series) : nullptr;
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

std::optional<int> TForm1::portFromSelector() {
    QString error;
    const auto port = Connection::parsePortNumber(bar_->ComboBox1->currentText(), &error);
    if (!port)
        prompts().showError(this, error);
    return port;
}

void TForm1::setSelectorText(const QString& text) {
    bar_->ComboBox1->setEditText(text);
}

void TForm1::addSelectorItem(const QString& text) {
    // Adding the first item would otherwise replace the text the selector shows.
    const QString shown = bar_->ComboBox1->currentText();
    const int port = Connection::parsePortNumber(text).value_or(0);
    bar_->ComboBox1->addItem(text);
    bar_->ComboBox1->setItemData(bar_->ComboBox1->count() - 1, PortNaming::devicePath(port), Qt::ToolTipRole);
    bar_->ComboBox1->setEditText(shown);
}

void TForm1::updateWriteButton(bool wanted) {
    // Only a complete calibration may be written.
    bar_->spWrite->setEnabled(wanted && state().link.CalibrationLoaded);
}

void TForm1::applyControls(const LinkControls& c) {
    if (c.selector)
        bar_->ComboBox1->setEnabled(*c.selector);
    if (c.retry)
        bar_->spRetry->setEnabled(*c.retry);
    if (c.connect)
        bar_->spConnect->setEnabled(*c.connect);
    if (c.read)
        bar_->spRead->setEnabled(*c.read);
    if (c.write)
        updateWriteButton(*c.write);
}

// ---------------------------------------------------------------------------------------------
// The session's flows

bool TForm1::refuseWhileBusy() {
    if (flowsRunning_ == 0 && !session_.busy())
        return false;
    setStatus(0, QStringLiteral("Wait: the EMU is busy with the task under way"));
    return true;
}

template <typename T, typename F> bool TForm1::runFlow(LinkTask<T> task, F done) {
    ++flowsRunning_;
    if (flowsRunning_ == 1)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    auto finish = [this] {
        if (--flowsRunning_ == 0)
            QApplication::restoreOverrideCursor();
    };
    if constexpr (std::is_void_v<T>)
        std::move(task).then(this, [finish, done = std::move(done)]() mutable {
            finish();
            done();
        });
    else
        std::move(task).then(this, [finish, done = std::move(done)](T value) mutable {
            finish();
            done(std::move(value));
        });
    return true;
}

void TForm1::bindSession() {
    TuneSession* s = &session_;
    connect(s, &TuneSession::statusChanged, this, &TForm1::setStatus);
    connect(s, &TuneSession::controlsChanged, this, &TForm1::applyControls);
    connect(s, &TuneSession::portsCleared, this, [this] {
        const QString shown = bar_->ComboBox1->currentText();
        bar_->ComboBox1->clear();
        setSelectorText(shown);
    });
    connect(s, &TuneSession::portListed, this, [this](int n) { addSelectorItem(PortNaming::portName(n)); });
    connect(s, &TuneSession::portSelected, this, [this](int n) { setSelectorText(PortNaming::portName(n)); });
    connect(s, &TuneSession::portRemembered, this, &TForm1::rememberPort);
    connect(s, &TuneSession::portNotices, this, [this](const QStringList& texts) {
        for (const QString& text : texts)
            prompts().showWarning(this, text);
    });
    connect(s, &TuneSession::releaseLetterShown, Edit66, &QLineEdit::setText);
    connect(s, &TuneSession::typeShown, Edit18, &QLineEdit::setText);
    connect(s, &TuneSession::versionNotice, this, [this] {
        verChk_->show();
        verChk_->raise();
    });
    connect(s, &TuneSession::setupLoaded, this, &TForm1::showSetupBlock);
    connect(s, &TuneSession::calibrationLoaded, this, [this](bool live) {
        if (live)
            safetyNet_->freshRead();
        mapPages_->fillAfterRead();
    });
    connect(s, &TuneSession::calibrationWritten, this, [this] {
        mapPages_->plotAllMaps();
        setupPage_->refreshAfterWrite();
        safetyNet_->unitStored();
    });
    connect(s, &TuneSession::calibrationClosed, this, [this] {
        // Also forgets the active chart, so no later key release writes a point of the old data.
        mapPages_->closeAll();
        safetyNet_->closedAll();
    });
    connect(s, &TuneSession::fileOpened, this, [this](const QString& path, const VehicleInfo& vehicle) {
        Edit9->setText(vehicle.make);
        Edit10->setText(vehicle.model);
        Edit11->setText(vehicle.engine);
        settings_->setOpenFolder(QFileInfo(path).absolutePath());
        recentMenu_->note(path);
        safetyNet_->fileOpened();
    });
    connect(s, &TuneSession::unitReady, safetyNet_, &EditSafetyNet::unitReady);
    connect(s, &TuneSession::liveControls, this, [this](bool enabled, bool checked) {
        bar_->AnalogEn->setEnabled(enabled);
        bar_->AnalogEn->setChecked(checked);
        bar_->RT_Track->setChecked(false);
        bar_->RT_Track->setEnabled(enabled && checked);
    });
    connect(s, &TuneSession::documentChanged, this, &TForm1::updateTitle);
    connect(s, &TuneSession::otherUnit, this, [this](const QString& text) { prompts().showWarning(this, text); });
}

void TForm1::showSetupBlock(bool fill) {
    const LinkState& link = state().link;
    Edit6->setText(QString::number(link.Identity.firmwareVersion()));
    Edit7->setText(QString::number(link.Identity.model()));
    Edit8->setText(QString::number(link.Identity.firmwareRelease()));
    mapPages_->configureForFamilies();
    // A Connect whose setup read was cut left the tab empty: the whole read fills it.
    if (!fill && setupPage_->filled())
        return;
    setupPage_->FillSetupTab();
    if (fill) {
        dataLogger_->selectInterval(DataLogClock::kDefaultNominalMs);
        liveDisplays_->setLambdaTarget(liveSettings(state().cal).lambdaTarget);
    }
    setupPanel_->setEnabled(true);
    outputPanel_->setEnabled(true);
}

// ---------------------------------------------------------------------------------------------
// Start-up and connection

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!firstShow_)
        return;
    firstShow_ = false;
    PageControl1->setFocus();
    // Let the window appear before the search starts.
    QTimer::singleShot(50, this, &TForm1::FormShow);
}

void TForm1::FormShow() {
    if (!placeRestored_)
        move(x(), 0);
    runFlow(session_.search(), [this](bool) {
        PageControl1->setCurrentIndex(0);
        startupSearchDone_ = true;
        if (!startupFile_.isEmpty())
            openFile(std::exchange(startupFile_, QString()));
        emit startupSearchFinished();
    });
}

void TForm1::spRetryClick() {
    if (refuseWhileBusy())
        return;
    runFlow(session_.refresh(), [](bool) {});
}

void TForm1::ComboBox1Change() {
    if (bar_->ComboBox1->currentText().isEmpty() || refuseWhileBusy())
        return;
    if (const auto port = portFromSelector())
        session_.selectPort(*port);
}

void TForm1::spConnectClick() {
    if (refuseWhileBusy())
        return;
    const LinkState& link = state().link;
    int port = link.SelectedPort;
    // A file's first showing talks to no port; every other Connect identifies the selector's.
    if (!link.FileMode || link.FileDataShown) {
        setStatus(0, Connection::kSearching);
        const auto chosen = portFromSelector();
        if (!chosen)
            return;
        port = *chosen;
    }
    runFlow(session_.connectUnit(port), [] {});
}

void TForm1::spReadClick() {
    if (refuseWhileBusy())
        return;
    askAboutChanges([this] { runFlow(session_.read(), [] {}); });
}

void TForm1::writeToEmu(std::function<void(bool)> done) {
    if (refuseWhileBusy()) {
        if (done)
            done(false);
        return;
    }
    runFlow(session_.write(), [this, done = std::move(done)](WriteResult result) {
        if (result.ok() || !result.worthRetrying() ||
            !prompts().askRetry(this, result.text() + QStringLiteral("\n\nWrite the data to the EMU again?"))) {
            if (done)
                done(result.ok());
            return;
        }
        writeToEmu(done);
    });
}

void TForm1::spWriteClick() {
    writeToEmu();
}

// ---------------------------------------------------------------------------------------------
// Files and printing

void TForm1::spSaveClick() {
    showOverDisabled(saveForm_);
}

void TForm1::saveSettings(bool fromPc, std::function<void(bool)> done) {
    if (!done)
        done = [](bool) {};
    if (fromPc) {
        saveImage(CalibrationTransfer::imageFromPc(state().cal), done);
        return;
    }
    if (refuseWhileBusy()) {
        done(false);
        return;
    }
    auto error = std::make_shared<QString>();
    runFlow(session_.imageToSave(false, error.get()),
            [this, error, done](std::optional<std::array<std::uint8_t, kImageSize>> image) {
                if (!image) {
                    prompts().showError(this, *error);
                    done(false);
                    return;
                }
                saveImage(*image, done);
            });
}

void TForm1::saveImage(const std::array<std::uint8_t, kImageSize>& image, const std::function<void(bool)>& done) {
    const VehicleInfo vehicle{Edit9->text(), Edit10->text(), Edit11->text()};
    const EmuIdentity& identity = state().link.Identity;
    if (const QString reason = SettingsFile::refusalReason(identity, vehicle); !reason.isEmpty()) {
        prompts().showError(this, reason);
        done(false);
        return;
    }
    const QString path = prompts().askSaveFileName(this, settings_->saveFolder());
    if (path.isEmpty()) {
        done(false);
        return;
    }
    const QByteArray text = SettingsFile::write(identity, vehicle, image.data(), kImageReplySize);
    QString error;
    if (!SettingsFile::saveToFile(path, text, &error)) {
        prompts().showError(this, error);
        done(false);
        return;
    }
    settings_->setSaveFolder(QFileInfo(path).absolutePath());
    recentMenu_->note(path);
    session_.savedTo(path);
    safetyNet_->unitStored();
    done(true);
}

bool TForm1::changesAtStake() const {
    // After "Close all" the PC holds nothing to write or save; a file saved (or opened) since the
    // last change keeps it all.
    const LinkState& link = state().link;
    const bool keptInFile = !currentFile().isEmpty() && !hasUnsavedChanges();
    return link.hasPendingChanges() && link.CalibrationLoaded && !keptInFile;
}

void TForm1::askAboutChanges(std::function<void()> proceed, std::function<void()> cancelled) {
    if (!cancelled)
        cancelled = [] {};
    if (!changesAtStake()) {
        proceed();
        return;
    }
    auto afterStore = [proceed, cancelled](bool stored) { stored ? proceed() : cancelled(); };
    switch (prompts().askUnsavedChanges(this)) {
    case UiPrompts::UnsavedChoice::WriteToEmu:
        writeToEmu(afterStore);
        return;
    case UiPrompts::UnsavedChoice::SaveToFile:
        saveSettings(true, afterStore);
        return;
    case UiPrompts::UnsavedChoice::Discard:
        // Given up: neither the journal nor the next question offers them again.
        session_.discardChanges();
        safetyNet_->unitStored();
        proceed();
        return;
    case UiPrompts::UnsavedChoice::Cancel:
        cancelled();
        return;
    }
}

void TForm1::spOpenClick() {
    if (refuseWhileBusy())
        return;
    const QString path = prompts().askOpenFileName(this, settings_->openFolder());
    if (path.isEmpty())
        return;
    openFile(path);
}

void TForm1::openFile(const QString& path) {
    askAboutChanges([this, path] {
        runFlow(session_.openFile(path), [this](const QString& error) {
            if (!error.isEmpty())
                prompts().showError(this, error);
        });
    });
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

void TForm1::spCompareEmuClick() {
    if (refuseWhileBusy())
        return;
    const LinkState& link = state().link;
    if (!link.EmuConnected || !link.CalibrationLoaded) {
        setStatus(0, QStringLiteral("Compare with EMU: connect to the EMU and read its data first"));
        return;
    }
    runFlow(session_.readUnitImage(), [this](const ImageRead& read) {
        QString error;
        const auto image = CalibrationTransfer::imageFromReply(read.reply, &error);
        if (!image) {
            prompts().showError(this, error);
            return;
        }
        compareDialog_->compareWithUnit(*image, state().link.Identity.model());
        compareDialog_->show();
        compareDialog_->raise();
    });
}

QMenu* TForm1::recentFilesMenu() const {
    return recentMenu_;
}

void TForm1::spCloseClick() {
    if (refuseWhileBusy())
        return;
    askAboutChanges([this] { session_.closeAll(); });
}

void TForm1::spPrintClick() {
    QPrinter printer(QPrinter::HighResolution);
    ChartPrinter::preparePrinter(printer);
    printer.setDocName(WindowTitle::compose(kCaption, currentFile(), false));
    if (!prompts().runPrintDialog(this, printer))
        return;
    const QString header = ChartPrinter::headerText({Edit9->text(), Edit10->text(), Edit11->text()},
                                                    statusText(1), QDate::currentDate());
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool printed = ChartPrinter::print(printer, *TimingChart, header, &error);
    QApplication::restoreOverrideCursor();
    if (!printed) {
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

void TForm1::showTriggerWarning() {
    showOverDisabled(extWrn_);
}

void TForm1::spAboutClick() {
    showOverDisabled(aboutForm_);
}

// ---------------------------------------------------------------------------------------------
// Live data (the poll itself is bound by the monitor)

void TForm1::AnalogEnClick() {
    if (bar_->AnalogEn->isChecked())
        link().startPoll();
    else
        link().stopPoll();
    bar_->RT_Track->setEnabled(bar_->AnalogEn->isChecked());
}

void TForm1::buildLiveMonitor() {
    liveMonitor_ = new LiveMonitor(state(), this);
    liveDisplays_ = new LiveDisplays(this);
    for (TRT* frame : rtFrames_)
        liveDisplays_->addFrame(frame);
    for (MapChartWidget* c :
         {TimingChart, VacuumChart, FuelVacChart, FuelRPMChart, TempChart, AirTmpChart, VoltageChart})
        liveDisplays_->addChart(c);
    liveDisplays_->setMonitorPage(engineMonitor_);
    connect(&link(), &EmuLink::frameReceived, liveMonitor_, &LiveMonitor::takeFrame);
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
        // Whatever answers after a silence is identified before anything else is sent to it.
        session_.verifyUnit();
    });
    connect(&session_, &TuneSession::calibrationClosed, liveMonitor_, &LiveMonitor::calibrationChanged);
    connect(bar_->RT_Track, &QCheckBox::toggled, liveMonitor_, &LiveMonitor::setTracking);
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
    connect(&editor(), &CalibrationEditor::setupValueChanged, this,
            [this] { liveDisplays_->setLambdaTarget(liveSettings(state().cal).lambdaTarget); });
}

void TForm1::commsLost() {
    link().stopThrottlePoll();
    bar_->spRead->setEnabled(true);
    bar_->ComboBox1->setEnabled(true);
    bar_->spRetry->setEnabled(true);
    bar_->spConnect->setEnabled(true);
    // Usable even when another dialog has disabled the window it belongs to.
    commsLostForm_->setEnabled(true);
    commsLostForm_->show();
    commsLostForm_->raise();
    commsLostForm_->activateWindow();
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

void TForm1::closeEvent(QCloseEvent* event) {
    if (!exitConfirmed_ && changesAtStake()) {
        event->ignore();
        if (exitAsked_)
            return; // the question, or the write it chose, is under way
        exitAsked_ = true;
        // A choice that needs no link ends here and now; a write ends the program when it is done.
        auto now = std::make_shared<bool>(true);
        auto decided = std::make_shared<bool>(false);
        askAboutChanges(
            [this, now, decided] {
                exitConfirmed_ = true;
                exitAsked_ = false;
                if (*now)
                    *decided = true;
                else
                    close();
            },
            [this] { exitAsked_ = false; });
        *now = false;
        if (!*decided)
            return;
        event->accept();
    }
    rememberWindowPlace();
    link().stopPoll();
    link().stopThrottlePoll();
    link().close();
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

void TForm1::updateTitle() {
    setWindowTitle(WindowTitle::compose(kCaption, currentFile(), hasUnsavedChanges()));
    setWindowFilePath(currentFile());
}
