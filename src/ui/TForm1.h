#pragma once

#include "calibration/CalibrationEditor.h"
#include "calibration/EmuState.h"
#include "calibration/MapTable.h"
#include "link/EmuLink.h"
#include "session/TuneSession.h"
#include "tools/ToolSession.h"

#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class DataLoggerPage;
class EngineMonitorPage;
class LiveDisplays;
class LiveMonitor;
class MapChartWidget;
class MainToolBar;
class MapPages;
class RecentFilesMenu;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QTabWidget;
class QToolButton;
class SetupPage;
class SensorWidgetBinder;
class EditSafetyNet;
class TCommsLostFrm;
class TuneCompareDialog;
class TExtWrn;
class TForm2;
class TSaveFrm;
class TSerialFrm;
class TTPSCalForm;
class TVerChk;
class TRT;
class UiPrompts;
class WindowSettings;

// The main window: a shell over the tuning session. It owns the session (the state, the link owner
// and the edit door), every control and every dialog. Its handlers, named after their controls,
// start the session's flows and show what they say; no flow blocks the user-interface thread.
class TForm1 : public QMainWindow, public ToolSession {
    Q_OBJECT

  public:
    static const QString kCaption;
    // The size the window opens at when the screen has room for it.
    static const QSize kWindowSize;

    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    TuneSession& session() { return session_; }
    EmuState& state() override { return session_.state(); }
    const EmuState& state() const { return session_.state(); }
    EmuLink& link() override { return session_.emuLink(); }
    CalibrationEditor& editor() override { return session_.editor(); }
    QString programCaption() const override { return kCaption; }
    void showUnitDescription(const QString& text) override { setStatus(1, text); }
    void setMainWindowEnabled(bool enabled) override { setEnabled(enabled); }
    EditSafetyNet& safetyNet() { return *safetyNet_; }

    // Prompts that wait for the user; nullptr restores the real dialogs. Not owned.
    void setPrompts(UiPrompts* prompts);
    UiPrompts& prompts();

    QString statusText(int panel) const;
    void setStatus(int panel, const QString& text);

    // True once the search that runs on the first showing has finished.
    bool startupSearchDone() const { return startupSearchDone_; }

    MapChartWidget* chart(const QString& name) const;
    MapPages& mapPages() { return *mapPages_; }
    QWidget* setupPanel() const { return setupPanel_; }
    QGroupBox* outputPanel() const { return outputPanel_; }
    SetupPage* setupPage() const { return setupPage_; }

    TForm2* aboutForm() const { return aboutForm_; }
    TTPSCalForm* tpsCalForm() const { return tpsCalForm_; }
    TSerialFrm* serialForm() const { return serialForm_; }
    TSaveFrm* saveForm() const { return saveForm_; }
    TCommsLostFrm* commsLostForm() const { return commsLostForm_; }
    TExtWrn* extWrn() const { return extWrn_; }
    TVerChk* verChk() const { return verChk_; }
    // The Setup page binds its Calibrate buttons and sensor fields through it.
    SensorWidgetBinder* sensorBinder() const { return sensorBinder_; }

    // The live poll's pages and the real-time frames RT1..RT4 (index 1..4).
    LiveMonitor& liveMonitor() { return *liveMonitor_; }
    LiveDisplays& liveDisplays() { return *liveDisplays_; }
    DataLoggerPage* dataLogger() const { return dataLogger_; }
    EngineMonitorPage* engineMonitor() const { return engineMonitor_; }
    TRT* rtFrame(int n) const { return rtFrames_.at(static_cast<size_t>(n - 1)); }
    TuneCompareDialog* compareDialog() const { return compareDialog_; }

    QTimer& timer1() { return link().pollTimer(); }
    QTimer& timer2() { return link().throttleTimer(); }

    // Shows a dialog the way the program's "modal" dialogs are shown: over a disabled main window,
    // which the dialog enables again when it closes.
    void showOverDisabled(QWidget* dialog);

    // A flow the window started (search, Connect, Read, Write, Open...) has not ended yet.
    bool flowsRunning() const { return flowsRunning_ > 0; }

    // Opens a settings file as Open does (after the question about unsaved changes).
    void openFile(const QString& path);
    // A file to open once the start-up search has finished (the command line's FILE).
    void setStartupFile(const QString& path) { startupFile_ = path; }
    // The file the data came from or was last saved to; empty when none.
    QString currentFile() const { return session_.currentFile(); }
    // Changes not yet written to the unit or saved to a file.
    bool hasUnsavedChanges() const { return session_.hasUnsavedChanges(); }
    QMenu* recentFilesMenu() const;
    WindowSettings& settings() { return *settings_; }

    // The whole-image write, offered again while a retry may help; done(true) only when the unit
    // holds the image.
    void writeToEmu(std::function<void(bool)> done = {});
    // Saves a settings file of the PC's data or of the unit's; done(true) once saved.
    void saveSettings(bool fromPc, std::function<void(bool)> done = {});
    void showTriggerWarning();
    // Runs proceed once the PC holds nothing that would be lost (written, saved or given up after
    // the question); never when the user cancels or the write or save failed.
    void askAboutChanges(std::function<void()> proceed, std::function<void()> cancelled = {});

    // Key preview: every key pressed in this window comes here before its control. True when used.
    bool FormKeyDown(QKeyEvent* event);
    bool FormKeyUp(QKeyEvent* event);

  public slots:
    void FormShow();
    void spRetryClick();
    void ComboBox1Change();
    void spConnectClick();
    void spReadClick();
    void spWriteClick();
    void spSaveClick();
    void spOpenClick();
    void spCompareClick();
    void spCompareEmuClick();
    void spCloseClick();
    void spPrintClick();
    void spAboutClick();
    void spExitClick();
    void AnalogEnClick();
    // The poll found the unit gone while the PC holds unsent changes.
    void commsLost();

  signals:
    void startupSearchFinished();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildToolBar();
    void buildStatusBar();
    void buildPages();
    QWidget* buildSetupPage();
    QWidget* withFrame(QWidget* page, TRT* frame);
    void bindSensorCalibration();
    void keepTabOnEditableBoxes();
    void buildLiveMonitor();

    std::optional<int> portFromSelector();
    void updateWriteButton(bool wanted);
    void setSelectorText(const QString& text);
    void addSelectorItem(const QString& text);
    // The window follows what the session's flows say.
    void bindSession();
    void applyControls(const LinkControls& controls);
    void showSetupBlock(bool fill);
    bool changesAtStake() const;
    void saveImage(const std::array<std::uint8_t, kImageSize>& image, const std::function<void(bool)>& done);
    // Starts a flow with the wait pointer; done gets its result once it has ended. A flow asked for
    // while another runs is refused (nothing is sent) and the status says so.
    template <typename T, typename F> bool runFlow(LinkTask<T> task, F done);
    bool refuseWhileBusy();

    // Desktop integration: window place, remembered choices, title, recent files, shortcuts.
    void restoreWindowPlace();
    void rememberWindowPlace();
    void rememberPort(int port);
    void updateTitle();

    TuneSession session_;
    std::unique_ptr<UiPrompts> defaultPrompts_;
    std::unique_ptr<WindowSettings> settings_;
    UiPrompts* prompts_ = nullptr;
    EditSafetyNet* safetyNet_ = nullptr;


    std::array<QLabel*, 3> statusPanels_{};
    QTabWidget* PageControl1 = nullptr;

    QLineEdit* Edit6 = nullptr;
    QLineEdit* Edit7 = nullptr;
    QLineEdit* Edit8 = nullptr;
    QLineEdit* Edit66 = nullptr;
    QLineEdit* Edit18 = nullptr;
    QLineEdit* Edit9 = nullptr;
    QLineEdit* Edit10 = nullptr;
    QLineEdit* Edit11 = nullptr;
    SetupPage* setupPage_ = nullptr;
    QWidget* setupPanel_ = nullptr;
    QGroupBox* outputPanel_ = nullptr;
    QWidget* tempPanel_ = nullptr;

    MapPages* mapPages_ = nullptr;
    MapChartWidget* TimingChart = nullptr;
    MapChartWidget* VacuumChart = nullptr;
    MapChartWidget* FuelVacChart = nullptr;
    MapChartWidget* FuelRPMChart = nullptr;
    MapChartWidget* TempChart = nullptr;
    MapChartWidget* AirTmpChart = nullptr;
    MapChartWidget* VoltageChart = nullptr;

    TForm2* aboutForm_ = nullptr;
    TTPSCalForm* tpsCalForm_ = nullptr;
    TSerialFrm* serialForm_ = nullptr;
    TSaveFrm* saveForm_ = nullptr;
    TCommsLostFrm* commsLostForm_ = nullptr;
    TExtWrn* extWrn_ = nullptr;
    TVerChk* verChk_ = nullptr;
    SensorWidgetBinder* sensorBinder_ = nullptr;

    std::array<TRT*, 4> rtFrames_{};
    LiveMonitor* liveMonitor_ = nullptr;
    LiveDisplays* liveDisplays_ = nullptr;
    DataLoggerPage* dataLogger_ = nullptr;
    EngineMonitorPage* engineMonitor_ = nullptr;
    MainToolBar* bar_ = nullptr;
    RecentFilesMenu* recentMenu_ = nullptr;
    QString startupFile_;
    bool placeRestored_ = false;
    int flowsRunning_ = 0;
    bool exitConfirmed_ = false;
    bool exitAsked_ = false;
    TuneCompareDialog* compareDialog_ = nullptr;

    bool firstShow_ = true;
    bool startupSearchDone_ = false;
    QEvent* previewedEvent_ = nullptr;
    QPointer<QWidget> previewedReceiver_;
};
