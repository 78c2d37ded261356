#include "ui/TForm1.h"

#include "controls/CommitLineEdit.h"
#include "controls/ToolIcons.h"
#include "link/Connection.h"
#include "mapeditor/FuelMapsPage.h"
#include "mapeditor/MapChartWidget.h"
#include "mapeditor/MapPages.h"
#include "monitor/DataLoggerPage.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/LiveDisplays.h"
#include "monitor/LiveMonitor.h"
#include "setup/SetupPage.h"
#include "tools/SensorWidgetBinder.h"
#include "tools/SerialNumberDialog.h"
#include "tools/TForm2.h"
#include "tools/TTPSCalForm.h"
#include "ui/ChartPrinter.h"
#include "ui/DataLoggerBinding.h"
#include "ui/EditSafetyNet.h"
#include "ui/MainToolBar.h"
#include "ui/MixtureBinding.h"
#include "ui/RecentFilesMenu.h"
#include "ui/StatusPanels.h"
#include "ui/TCommsLostFrm.h"
#include "ui/TExtWrn.h"
#include "ui/TSaveFrm.h"
#include "ui/TVerChk.h"
#include "ui/TuneCompareDialog.h"
#include "ui/TuneStore.h"
#include "ui/WindowFit.h"
#include "ui/WindowSettings.h"
#include "ui/WindowTitle.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <utility>

const QString TForm1::kCaption = QStringLiteral("Dorvanta - EMU Interface - v1.13.b");
const QSize TForm1::kWindowSize{1180, 780};

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent), defaultPrompts_(std::make_unique<QtUiPrompts>()),
      settings_(std::make_unique<WindowSettings>()) {
    prompts_ = defaultPrompts_.get();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kCaption);
    setWindowIcon(toolIcon(ToolIcon::Connect));

    safetyNet_ = new EditSafetyNet(session_,
                                   {this, [this]() -> UiPrompts& { return prompts(); },
                                    [this](const QString& text) { setStatus(0, text); },
                                    [this] { return pages_->vehicle(); }},
                                   this);
    flows_ = new FlowRunner(
        session_, [this](const QString& text) { setStatus(0, text); }, this);
    buildToolBar();
    store_ = new TuneStore(
        session_, *flows_, *settings_, *recentMenu_,
        {this, [this]() -> UiPrompts& { return prompts(); }, [this] { return pages_->vehicle(); }}, this);
    connect(store_, &TuneStore::statusText, this, [this](const QString& text) { setStatus(0, text); });
    buildPages();
    status_ = new StatusPanels(*statusBar());
    setStatus(0, Connection::kSearching);
    buildLiveMonitor();
    placeRestored_ = WindowFit::restore(*this, *settings_, kWindowSize);
    if (const auto port = settings_->lastPort())
        bar_->showPort(*port);

    // The other windows, in their fixed order; all are shown on demand.
    aboutForm_ = new TForm2(*this, this);
    tpsCalForm_ = new TTPSCalForm(*this, this);
    serialForm_ = new TSerialFrm(*this, this);
    aboutForm_->setSerialForm(serialForm_);
    sensorBinder_ = new SensorWidgetBinder(*this, this);
    // Each Calibrate button of the Setup tab reveals its calibration number field beside it; the
    // throttle's opens the throttle calibration. Refused numbers are said in the status bar, as is
    // a refused parameter 13 of the About window.
    sensorBinder_->bindSetupPage(*pages_->setup, *tpsCalForm_);
    sensorBinder_->setStatusHook([this](const QString& text) { setStatus(0, text); });
    aboutForm_->setStatusHook([this](const QString& text) { setStatus(0, text); });
    keepTabOnEditableBoxes();
    saveForm_ = new TSaveFrm(state().link, this);
    connect(saveForm_, &TSaveFrm::saveChosen, this, [this](bool fromPc) { store_->saveSettings(fromPc); });
    commsLostForm_ = new TCommsLostFrm(session_, this);
    connect(commsLostForm_, &TCommsLostFrm::uploadChosen, pages_->setup, &SetupPage::clearTriggerExternal);
    extWrn_ = new TExtWrn(editor(), this);
    connect(extWrn_, &TExtWrn::revertRequested, pages_->setup, &SetupPage::selectTriggerInternal);
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

void TForm1::buildPages() {
    SetupPageHooks hooks;
    hooks.showError = [this](const QString& text) { prompts().showError(this, text); };
    hooks.showStatus = [this](const QString& text) { setStatus(0, text); };
    hooks.armWrite = [this] {
        bar_->spRead->setEnabled(false);
        bar_->apply({.write = true}, state().link.CalibrationLoaded);
    };
    hooks.askTriggerExternal = [this] { showTriggerWarning(); };
    pages_ = new MainPages(state(), editor(), std::move(hooks), this);
    pages_->maps->fuelPage()->showError = [this](const QString& text) { prompts().showError(this, text); };
    pages_->maps->toolHooks().showStatus = [this](const QString& text) { setStatus(0, text); };
    pages_->maps->toolHooks().askNumber = [this](const QString& title, const QString& label, double initial) {
        return prompts().askNumber(this, title, label, initial);
    };
    connect(bar_->SpeedButton3, &QToolButton::toggled, pages_->maps, &MapPages::SpeedButton3Click);
    setCentralWidget(pages_);
}

void TForm1::keepTabOnEditableBoxes() {
    // Tab walks the boxes a tuner types into; the read-only ones (the unit's version, the chart
    // read-outs) can still be clicked and copied from.
    for (QLineEdit* box : findChildren<QLineEdit*>())
        if (box->isReadOnly())
            box->setFocusPolicy(Qt::ClickFocus);
}

void TForm1::setPrompts(UiPrompts* prompts) {
    prompts_ = prompts ? prompts : defaultPrompts_.get();
}

UiPrompts& TForm1::prompts() {
    return *prompts_;
}

QString TForm1::statusText(int panel) const {
    return status_->text(panel);
}

void TForm1::setStatus(int panel, const QString& text) {
    status_->setText(panel, text);
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
    const auto port = bar_->selectedPort(&error);
    if (!port)
        prompts().showError(this, error);
    return port;
}

// ---------------------------------------------------------------------------------------------
// The session's flows

void TForm1::bindSession() {
    TuneSession* s = &session_;
    connect(s, &TuneSession::statusChanged, this, &TForm1::setStatus);
    connect(s, &TuneSession::controlsChanged, this,
            [this](const LinkControls& c) { bar_->apply(c, state().link.CalibrationLoaded); });
    connect(s, &TuneSession::portsCleared, bar_, &MainToolBar::clearPorts);
    connect(s, &TuneSession::portListed, bar_, &MainToolBar::listPort);
    connect(s, &TuneSession::portSelected, bar_, &MainToolBar::showPort);
    connect(s, &TuneSession::portRemembered, this, &TForm1::rememberPort);
    connect(s, &TuneSession::portNotices, this, [this](const QStringList& texts) {
        for (const QString& text : texts)
            prompts().showWarning(this, text);
    });
    connect(s, &TuneSession::releaseLetterShown, pages_->Edit66, &QLineEdit::setText);
    connect(s, &TuneSession::typeShown, pages_->Edit18, &QLineEdit::setText);
    connect(s, &TuneSession::versionNotice, this, [this] {
        verChk_->show();
        verChk_->raise();
    });
    connect(s, &TuneSession::setupLoaded, this, &TForm1::showSetupBlock);
    connect(s, &TuneSession::calibrationLoaded, this, [this] { pages_->maps->fillAfterRead(); });
    connect(s, &TuneSession::calibrationWritten, this, [this] {
        pages_->maps->plotAllMaps();
        pages_->setup->refreshAfterWrite();
    });
    connect(s, &TuneSession::calibrationClosed, this, [this] {
        // Also forgets the active chart, so no later key release writes a point of the old data.
        pages_->maps->closeAll();
    });
    connect(s, &TuneSession::fileOpened, this, [this](const QString& path, const VehicleInfo& vehicle) {
        pages_->Edit9->setText(vehicle.make);
        pages_->Edit10->setText(vehicle.model);
        pages_->Edit11->setText(vehicle.engine);
        settings_->setOpenFolder(QFileInfo(path).absolutePath());
        recentMenu_->note(path);
    });
    connect(s, &TuneSession::unitReady, safetyNet_, &EditSafetyNet::unitReady);
    connect(s, &TuneSession::liveControls, this, [this](bool enabled, bool checked) {
        bar_->AnalogEn->setEnabled(enabled);
        bar_->AnalogEn->setChecked(checked);
        bar_->RT_Track->setChecked(false);
        bar_->RT_Track->setEnabled(enabled && checked);
    });
    connect(s, &TuneSession::documentChanged, this, &TForm1::updateTitle);
    connect(s, &TuneSession::otherUnit, this,
            [this](const QString& text) { prompts().showWarning(this, text); });
}

void TForm1::showSetupBlock(bool fill) {
    const LinkState& link = state().link;
    pages_->Edit6->setText(QString::number(link.Identity.firmwareVersion()));
    pages_->Edit7->setText(QString::number(link.Identity.model()));
    pages_->Edit8->setText(QString::number(link.Identity.firmwareRelease()));
    pages_->maps->configureForFamilies();
    // A Connect whose setup read was cut left the tab empty: the whole read fills it.
    if (!fill && pages_->setup->filled())
        return;
    pages_->setup->FillSetupTab();
    if (fill) {
        pages_->dataLogger->selectInterval(DataLogClock::kDefaultNominalMs);
        liveView_->displays().setLambdaTarget(liveSettings(state().cal).lambdaTarget);
    }
    pages_->setupPanel->setEnabled(true);
    pages_->outputPanel->setEnabled(true);
}

// ---------------------------------------------------------------------------------------------
// Start-up and connection

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!firstShow_)
        return;
    firstShow_ = false;
    pages_->setFocus();
    // Let the window appear before the search starts.
    QTimer::singleShot(50, this, &TForm1::FormShow);
}

void TForm1::FormShow() {
    if (!placeRestored_)
        move(x(), 0);
    flows_->run(session_.search(), [this](bool) {
        pages_->setCurrentIndex(0);
        startupSearchDone_ = true;
        if (!startupFile_.isEmpty())
            openFile(std::exchange(startupFile_, QString()));
        emit startupSearchFinished();
    });
}

void TForm1::spRetryClick() {
    if (flows_->refuseWhileBusy())
        return;
    flows_->run(session_.refresh(), [](bool) {});
}

void TForm1::ComboBox1Change() {
    if (bar_->ComboBox1->currentText().isEmpty() || flows_->refuseWhileBusy())
        return;
    if (const auto port = portFromSelector())
        session_.selectPort(*port);
}

void TForm1::spConnectClick() {
    if (flows_->refuseWhileBusy())
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
    flows_->run(session_.connectUnit(port), [] {});
}

void TForm1::spReadClick() {
    if (flows_->refuseWhileBusy())
        return;
    store_->askAboutChanges([this] { flows_->run(session_.read(), [] {}); });
}

void TForm1::spWriteClick() {
    store_->writeToEmu();
}

// ---------------------------------------------------------------------------------------------
// Files and printing

void TForm1::spSaveClick() {
    showOverDisabled(saveForm_);
}

void TForm1::spOpenClick() {
    store_->chooseAndOpen();
}

void TForm1::openFile(const QString& path) {
    store_->openFile(path);
}

void TForm1::spCompareClick() {
    store_->compareWithFile(*compareDialog_);
}

void TForm1::spCompareEmuClick() {
    store_->compareWithUnit(*compareDialog_);
}

QMenu* TForm1::recentFilesMenu() const {
    return recentMenu_;
}

void TForm1::spCloseClick() {
    if (flows_->refuseWhileBusy())
        return;
    store_->askAboutChanges([this] { session_.closeAll(); });
}

void TForm1::spPrintClick() {
    QString what;
    const QList<ChartPrinter::PrintedChart> charts =
        ChartPrinter::chartsOnShow(*pages_->maps, *pages_, *pages_->TimingChart, &what);
    // The status says where the page went, or that printing failed (the error box says why).
    const QString done = ChartPrinter::printChartsWithDialog(
        this, prompts(), charts, what, WindowTitle::compose(kCaption, currentFile(), false),
        ChartPrinter::headerText(pages_->vehicle(), statusText(1), QDate::currentDate()));
    if (!done.isEmpty())
        setStatus(0, done);
}

void TForm1::showTriggerWarning() {
    showOverDisabled(extWrn_);
}

void TForm1::spAboutClick() {
    showOverDisabled(aboutForm_);
}

void TForm1::AnalogEnClick() {
    // A replay stopped the poll; it comes back when the replay ends.
    if (bar_->AnalogEn->isChecked() && !liveView_->replaying())
        link().startPoll();
    else
        link().stopPoll();
    bar_->RT_Track->setEnabled(bar_->AnalogEn->isChecked());
}

void TForm1::buildLiveMonitor() {
    liveView_ = new LiveView(session_, *pages_->maps, pages_->frames, pages_->charts(), pages_->engineMonitor,
                             bar_->RT_Track, *status_, pages_->dataLogger, this);
    connect(&liveView_->monitor(), &LiveMonitor::linkLost, this, &TForm1::commsLost);
    bindDataLogger(
        *pages_->dataLogger, *pages_->maps, *settings_, [this]() -> UiPrompts& { return prompts(); }, this);
    bindMixtureSuggestions(
        *pages_->maps->fuelPage(), editor(), session_, *pages_->dataLogger,
        [this]() -> UiPrompts& { return prompts(); }, [this] { return settings_->logFolder(); },
        [this](const QString& text) { setStatus(0, text); }, this);
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
    pages_->maps->keyDown(*event, pages_->currentWidget(), previewedReceiver_);
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
    pages_->maps->keyUp(*event);
    return false;
}

void TForm1::spExitClick() {
    close();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!store_->mayClose([this] { close(); })) {
        event->ignore();
        return;
    }
    WindowFit::remember(*this, *settings_);
    link().stopPoll();
    link().stopThrottlePoll();
    link().close();
    for (QWidget* dialog : std::initializer_list<QWidget*>{aboutForm_, tpsCalForm_, serialForm_, saveForm_,
                                                           commsLostForm_, extWrn_, verChk_})
        dialog->hide();
    QMainWindow::closeEvent(event);
}

void TForm1::rememberPort(int port) {
    settings_->setLastPort(port);
    settings_->sync();
}

void TForm1::updateTitle() {
    setWindowTitle(WindowTitle::compose(kCaption, currentFile(), hasUnsavedChanges()));
    setWindowFilePath(currentFile());
}
