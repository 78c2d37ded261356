#pragma once

#include "calibration/CalibrationEditor.h"
#include "calibration/EmuState.h"
#include "calibration/MapTable.h"
#include "link/EmuLink.h"
#include "session/TuneSession.h"
#include "tools/ToolSession.h"
#include "ui/FlowRunner.h"
#include "ui/LiveView.h"
#include "ui/MainPages.h"

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
class LiveView;
class MapChartWidget;
class FlowRunner;
class MainPages;
class MainToolBar;
class TuneStore;
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
class StatusPanels;
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
    MapPages& mapPages() { return *pages_->maps; }
    QWidget* setupPanel() const { return pages_->setupPanel; }
    QGroupBox* outputPanel() const { return pages_->outputPanel; }
    SetupPage* setupPage() const { return pages_->setup; }

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
    LiveMonitor& liveMonitor() { return liveView_->monitor(); }
    LiveDisplays& liveDisplays() { return liveView_->displays(); }
    DataLoggerPage* dataLogger() const { return pages_->dataLogger; }
    EngineMonitorPage* engineMonitor() const { return pages_->engineMonitor; }
    TRT* rtFrame(int n) const { return pages_->frame(n); }
    TuneCompareDialog* compareDialog() const { return compareDialog_; }

    QTimer& timer1() { return link().pollTimer(); }
    QTimer& timer2() { return link().throttleTimer(); }

    // Shows a dialog the way the program's "modal" dialogs are shown: over a disabled main window,
    // which the dialog enables again when it closes.
    void showOverDisabled(QWidget* dialog);

    // A flow the window started (search, Connect, Read, Write, Open...) has not ended yet.
    bool flowsRunning() const { return flows_->running(); }

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

    // Write, save, open and the question before changes are lost.
    TuneStore& store() { return *store_; }
    void showTriggerWarning();

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
    void buildPages();
    void keepTabOnEditableBoxes();
    void buildLiveMonitor();

    std::optional<int> portFromSelector();
    // The window follows what the session's flows say.
    void bindSession();
    void showSetupBlock(bool fill);

    // Desktop integration: window place, remembered choices, title, recent files, shortcuts.
    void rememberPort(int port);
    void updateTitle();

    TuneSession session_;
    std::unique_ptr<UiPrompts> defaultPrompts_;
    std::unique_ptr<WindowSettings> settings_;
    UiPrompts* prompts_ = nullptr;
    EditSafetyNet* safetyNet_ = nullptr;


    StatusPanels* status_ = nullptr;



    TForm2* aboutForm_ = nullptr;
    TTPSCalForm* tpsCalForm_ = nullptr;
    TSerialFrm* serialForm_ = nullptr;
    TSaveFrm* saveForm_ = nullptr;
    TCommsLostFrm* commsLostForm_ = nullptr;
    TExtWrn* extWrn_ = nullptr;
    TVerChk* verChk_ = nullptr;
    SensorWidgetBinder* sensorBinder_ = nullptr;

    LiveView* liveView_ = nullptr;
    MainToolBar* bar_ = nullptr;
    MainPages* pages_ = nullptr;
    FlowRunner* flows_ = nullptr;
    TuneStore* store_ = nullptr;
    RecentFilesMenu* recentMenu_ = nullptr;
    QString startupFile_;
    bool placeRestored_ = false;
    TuneCompareDialog* compareDialog_ = nullptr;

    bool firstShow_ = true;
    bool startupSearchDone_ = false;
    QEvent* previewedEvent_ = nullptr;
    QPointer<QWidget> previewedReceiver_;
};
