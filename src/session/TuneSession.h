#pragma once

#include "calibration/CalibrationEditor.h"
#include "calibration/EmuState.h"
#include "calibration/SettingsFile.h"
#include "link/EmuLink.h"
#include "link/LinkTask.h"
#include "session/EditSafeguard.h"
#include "session/SessionResults.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

// One tuning session below the widgets: the state, the link owner, the edit door, the journal and
// the undo history, and every
// flow that talks to the unit (search, refresh, connect, read, save from the unit, write, the two
// lost-link choices, close all, open a file). Each flow is a task that waits without blocking and
// says what happened through the signals below; the window shows it, emu-cli prints it.
//
// One flow runs at a time: a flow asked for while another runs does nothing and says so (busy()).
class TuneSession : public QObject {
    Q_OBJECT

  public:
    explicit TuneSession(QObject* parent = nullptr);
    ~TuneSession() override;

    EmuState& state() { return state_; }
    const EmuState& state() const { return state_; }
    LinkState& link() { return state_.link; }
    EmuLink& emuLink() { return link_; }
    CalibrationEditor& editor() { return editor_; }
    // The journal of the connected unit and the undo history.
    EditSafeguard& safeguard() { return safeguard_; }

    // A flow is under way.
    bool busy() const { return flows_ > 0; }

    // The start-up search over Com1..Com16 (100 ms pauses); the first unit found is selected.
    LinkTask<bool> search();
    // "Refresh Com Port": the same with 200 ms pauses; never changes the identity of a unit the
    // window is connected to.
    LinkTask<bool> refresh();
    // The selector's port: closes the link and opens that port.
    void selectPort(int port);
    // Connect on port (the selector's), then the whole read when a unit answered. With a file's
    // data shown, only re-identifies and keeps the file's data.
    LinkTask<void> connectUnit(int port);
    // "Read from EMU" (or, in file mode, shows the file's whole calibration).
    LinkTask<void> read();
    // "Write to EMU": identified, written and confirmed by a read-back.
    LinkTask<WriteResult> write();
    // The image a settings file gets: the PC's own, or read from the unit (500 ms).
    LinkTask<std::optional<std::array<std::uint8_t, kImageSize>>> imageToSave(bool fromPc, QString* error);
    // The PC's data was saved to path: nothing is left unsaved.
    void savedTo(const QString& path);
    // Opens a settings file and shows its whole calibration: never sends anything; edits stay on
    // the PC until "Write to EMU". Empty when opened, else why not.
    LinkTask<QString> openFile(QString path);
    // "Close all": nothing is left to write, and the search, Connect and Read work again.
    void closeAll();
    // The lost-link dialog's two choices; true when the dialog may go away.
    LinkTask<bool> downloadToUnit();
    LinkTask<bool> uploadFromUnit();
    // The unit's whole image, to compare with the window's data.
    LinkTask<ImageRead> readUnitImage();
    // The link came back after a silence: the unit at the port is identified (and its serial
    // checked) before anything else is sent; another unit leaves the window unconnected.
    void verifyUnit();
    // The changes are given up: nothing pending, the history and journal forget them.
    void discardChanges();

    // The file the data came from or was last saved to (empty when none) and whether changes are
    // pending on the PC.
    QString currentFile() const { return currentFile_; }
    bool hasUnsavedChanges() const { return unsaved_; }

    static QString setupTypeText(int model);

  signals:
    void statusChanged(int panel, const QString& text);
    void controlsChanged(const LinkControls& controls);
    void portsCleared();
    void portListed(int port);
    void portSelected(int port);   // the selector shows this port
    void portRemembered(int port); // the port a unit answered on, for the next start
    // Plain words for ports that exist but cannot be used, each said once.
    void portNotices(const QStringList& texts);
    void releaseLetterShown(const QString& letter);
    void typeShown(const QString& type);
    void versionNotice();
    // The setup block is in the state: identity boxes, the Setup tab, the chart scales.
    void setupLoaded(bool fill);
    // A whole calibration is in the state (live: read from a unit; else a file's).
    void calibrationLoaded(bool live);
    void calibrationWritten();
    void calibrationClosed();
    void fileOpened(const QString& path, const VehicleInfo& vehicle);
    // Connect has identified a live unit and loaded its data.
    void unitReady();
    // Live-data controls: whether "Analog Signals" works and is on.
    void liveControls(bool enabled, bool checked);
    void documentChanged();
    // The unit at the port after the link came back is not the one the window holds.
    void otherUnit(const QString& text);

  private:
    struct FlowCount {
        explicit FlowCount(TuneSession& s) : s_(s) { ++s_.flows_; }
        ~FlowCount() { --s_.flows_; }
        TuneSession& s_;
    };

    LinkTask<bool> scanPorts(int pauseMs, bool refreshing);
    LinkTask<void> identifyOn(int port);
    LinkTask<void> readWhole();
    LinkTask<void> checkUnitAgain();
    bool openPort();
    void flushNotices();
    void status(int panel, const QString& text) {
        if (panel == 0)
            status0_ = text;
        emit statusChanged(panel, text);
    }
    void showSetupBlock();
    void setDocument(const QString& path, bool unsaved);
    void markUnsaved();

    QString status0_;     // what panel 0 says now, as the session last set it
    QString savedStatus_; // the "Saved to" text of the last save
    EmuState state_;
    EmuLink link_;
    CalibrationEditor editor_;
    EditSafeguard safeguard_;
    int flows_ = 0;
    QByteArray lastIdentifyReply_;
    QSet<QString> notifiedDevices_;
    QStringList pendingNotices_;
    QString currentFile_;
    bool unsaved_ = false;
    bool checking_ = false;
};
