#pragma once

#include "calibration/SettingsFile.h"
#include "ui/TForm1.h"
#include "ui/UiPrompts.h"

#include "EmuSimulator.h"
#include "PtyPair.h"

#include <QDeadlineTimer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>
#include <optional>

class MapChartWidget;
class QAbstractButton;
class QLineEdit;

// Answers the window's prompts in place of the user and remembers what was asked. Every message
// box the window shows (error, warning, retry, restore question, unsaved changes) is also kept in
// one record that the bench checks when the test ends: a box the test did not declare with
// expect() fails the test, naming its text.
class FakePrompts : public UiPrompts {
  public:
    // The unsaved-changes question carries no text through the interface; this stands for it.
    static inline const QString kUnsavedChangesText =
        QStringLiteral("The data tables on your PC have changes the EMU has not stored.");
    // Declares that a box whose text contains this fragment may be shown (any number of times).
    void expect(const QString& fragment) { expected_ << fragment; }
    // The boxes shown that no expect() covers, each as "kind: text".
    QStringList unexpected() const;

    QStringList openNames; // taken in turn; none left: the user cancels
    QStringList saveNames;
    QStringList errors;
    QStringList warnings;
    int openAsked = 0;
    int saveAsked = 0;
    QString openFolder; // the folder the last dialog started in
    QString saveFolder;
    UnsavedChoice unsavedChoice = UnsavedChoice::Cancel;
    int unsavedAsked = 0;
    bool acceptPrint = false;
    QString printPdfPath; // where an accepted print goes
    int printAsked = 0;
    QStringList retryTexts;  // the failed operations offered again
    int retriesToAccept = 0; // "try again" this many times, then give up

    QString askOpenFileName(QWidget*, const QString& folder) override;
    QString askSaveFileName(QWidget*, const QString& folder) override;
    void showError(QWidget*, const QString& text) override;
    void showWarning(QWidget*, const QString& text) override;
    UnsavedChoice askUnsavedChanges(QWidget*) override;
    bool runPrintDialog(QWidget*, QPrinter& printer) override;
    bool askRetry(QWidget*, const QString& text) override;
    QStringList journalTexts; // the restore questions asked
    JournalChoice journalChoice = JournalChoice::Later;
    JournalChoice askJournalRestore(QWidget*, const QString& text) override;
    QStringList confirmTexts; // the yes/no questions asked
    bool confirmAnswer = false;
    bool askConfirm(QWidget*, const QString& text) override;
    QStringList folderNames; // taken in turn; none left: the user cancels
    int folderAsked = 0;
    QString askFolder(QWidget*, const QString& folder) override;
    QStringList logNames; // taken in turn; none left: the user cancels
    QString askOpenLogName(QWidget*, const QString& folder) override;
    QList<double> numbers;    // taken in turn by the map tools' questions; none left: the user cancels
    QStringList numberTitles; // the questions asked
    std::optional<double> askNumber(QWidget*, const QString& title, const QString& label,
                                    double initial) override;

  private:
    struct Shown {
        QString kind;
        QString text;
    };
    QList<Shown> shown_;
    QStringList expected_;
};

// Simulated units on chosen port numbers, the window over them, and the prompts it uses.
class Bench {
  public:
    Bench();
    ~Bench();

    // A unit on Com n (before window()). The simulator sits behind a symlink in a temporary folder.
    EmuSimulator& addUnit(int port, SimConfig config = {});
    // Any device path for Com n (a pty, a missing path).
    void setPortPath(int port, const QString& path);
    QString linkPath(int port) const;

    // Creates the window with EMU_PORTS set from the ports above, shows it and waits for the
    // start-up search. Nullptr-safe accessors below.
    TForm1& window();
    TForm1* existingWindow() { return window_.get(); }
    // The program ended without a word (killed, the battery gone) and started again: the window
    // goes without closing, and a new one starts over the same units and state folder.
    TForm1& restartWindow();
    EmuSimulator& unit(int port) { return *units_.at(port); }

    FakePrompts prompts;
    QTemporaryDir dir;
    QTemporaryDir stateDir; // XDG_STATE_HOME: the edit journals of this bench only

  private:
    std::map<int, QString> paths_;
    std::map<int, std::unique_ptr<EmuSimulator>> units_;
    std::optional<ScopedEmuPorts> ports_;
    std::unique_ptr<TForm1> window_;
};

// Waits (processing events) until the condition holds or the time is up.
template <typename Condition> bool waitUntil(Condition condition, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}

// Waits until the flows the window started (Connect, Read, Write, a refresh...) have ended. Call it
// after every toolbar click or dialog choice that talks to the unit, before asserting.
bool finishFlows(TForm1& w, int timeoutMs = 20000);

// "Write to EMU" (with its retries as the prompts answer them) run to its end: true when the unit
// holds the data.
bool writeNow(TForm1& w);
// Saves the PC's data as the save dialog's "Save From PC" does: true when saved.
bool saveFromPc(TForm1& w);

// Connect (which reads the image) to the unit, then forget the traffic. False when it did not connect.
bool connectTo(TForm1& w, EmuSimulator& unit);

// The command bytes the simulator recorded, each command's first byte.
QList<int> commandBytes(const EmuSimulator& sim);

// The commands other than the live poll's (0xFC), each command's first byte.
QList<int> nonPollCommands(const EmuSimulator& sim);

// A parameter set message as it goes on the wire: 0xF2, the id, the plain value.
QByteArray parameterSet(int id, int value);
// The parameter set messages (0xF2) the simulator recorded, each whole, in order.
QList<QByteArray> parameterSets(const EmuSimulator& sim);

// How many live queries (0xFC) the simulator recorded.
int pollsRecorded(const EmuSimulator& sim);

// The text of a label of the real-time frame n (1..4: Setup, Timing, Fuel, Corrections pages).
QString rtText(TForm1& w, int frame, const char* label);

// Simulator configurations.
SimConfig unitConfig(int type, int version = 1, int release = 13, QChar letter = QChar());

// Widgets of the window by name.
QAbstractButton* button(TForm1& w, const char* name);
QLineEdit* lineEdit(QWidget& w, const char* name);
MapChartWidget* chartOf(TForm1& w, const char* name);
// The y values of a chart's map line.
QList<double> lineValues(TForm1& w, const char* chart, MapId map);
QList<double> lineXs(TForm1& w, const char* chart, MapId map);

// A settings file built from a unit's base tune.
QByteArray settingsFileText(int type, const VehicleInfo& vehicle,
                            const QString& serial = QStringLiteral("AB-010203-04"));
