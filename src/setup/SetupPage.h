#pragma once

#include "calibration/SetupParameters.h"

#include <QWidget>

#include <functional>
#include <map>
#include <vector>

class CalibrationEditor;
class CommitLineEdit;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSlider;
struct EmuState;

// What the Setup page asks of the window around it.
struct SetupPageHooks {
    std::function<void(const QString&)> showError;  // the toolkit's conversion error
    std::function<void(const QString&)> showStatus; // why a value was refused or did not reach the unit
    std::function<void()> armWrite;                 // Read off, Write on: the unit now differs
    std::function<void()> askTriggerExternal;       // the typed confirmation for "External"
};

// The "Setup" tab: every setup parameter of the table bound to its control, the EMU version and
// vehicle panels, and the place of the real-time frame RT2. Each control kind has one handler;
// every value reaches the unit through the edit door. A typed value is sent once, when its box
// commits it (Enter, Tab, leaving the box); a value that changes through the door (undo, another
// window) is shown by every control of it without being sent again.
class SetupPage : public QWidget {
    Q_OBJECT

  public:
    SetupPage(EmuState& state, CalibrationEditor& editor, SetupPageHooks hooks, QWidget* parent = nullptr);

    // Fills every control from the setup block. A control whose state changes runs its handler
    // as a user change would (radio groups and sources send even before DataReady is set).
    void FillSetupTab();
    // After "Write to EMU": the Engine and Timing Configuration boxes and the output Min and Max.
    void refreshAfterWrite();
    bool filled() const { return filled_; }

    QWidget* parametersPanel() const { return parametersPanel_; }
    QGroupBox* outputPanel() const { return outputPanel_; }
    QWidget* pumpSliderPanel() const { return pumpSliders_; }
    QWidget* realTimeFrame() const { return realTimeFrame_; }
    // The EMU Version and Vehicle Information boxes (Edit6, Edit7, Edit8, Edit66, Edit18, Edit9..11).
    QLineEdit* infoBox(const char* objectName) const;
    // The sensor boxes (setup ids 5..9) and their "Calibrate" buttons (ids 5, 6, 7, 9), for the
    // sensor calibration dialogs.
    QCheckBox* sensorBox(int id) const;
    QPushButton* calibrateButton(int id) const;

    // "Internal" for the trigger output level, through its own handler (which sends 0).
    void selectTriggerInternal();
    // Clears the "External" choice without sending anything.
    void clearTriggerExternal();

    // The handlers, one per control kind; each binding (Edit12Change, CheckBox1Click, ...) calls its
    // kind's handler with the parameter's id. EditChange takes a committed text: it returns an
    // empty text when the value went to the unit (or nothing was to be sent), else why not.
    QString EditChange(int id, const QString& typed);
    void CheckBoxClick(int id);
    void RadioClick(int id, int item);
    void TrackBarChange(int id);
    void EdgeBoxClick(int id);
    void SpeedButtonClick(int id);
    void TrackBar7Enter();
    void TrackBar7Exit();

  signals:
    // A marker series of the fuel-vacuum chart (0 low, 1 high, 5 LambdaLow, 6 LambdaHigh) moves to x.
    void fuelVacuumMarkerMoved(int series, double x);
    // The lambda target moved: the Setup tab's frame only, or all four frames (on leaving the slider).
    void lambdaTargetMoved(double target, bool allFrames);
    // The target slider has the focus: the frame shows "Set Target" instead of the lambda value.
    void lambdaTargetEditing(bool editing);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Binding {
        const SetupParameter* p = nullptr;
        QWidget* control = nullptr; // what a 255 byte disables
        CommitLineEdit* edit = nullptr;
        QCheckBox* check = nullptr;
        QSlider* slider = nullptr;
        QLineEdit* shown = nullptr;       // a slider's read-only box
        QPushButton* calibrate = nullptr; // a sensor's "Calibrate" button
        QButtonGroup* group = nullptr;
        std::vector<QAbstractButton*> buttons;
    };

    QWidget* buildPanel(const char* panel, QWidget* parent);
    QWidget* buildRow(Binding& b, QWidget* parent);
    void buildEdit(Binding& b, QWidget* parent);
    void buildChoice(Binding& b, QWidget* parent, QWidget* box);
    void buildEdge(Binding& b, QWidget* parent, QWidget* row);
    QWidget* buildSlider(Binding& b, QWidget* parent);
    QWidget* buildInfoPanels();

    void fillOne(Binding& b);
    // A value that changed through the door: its controls show it, and nothing is sent.
    void showUnitValue(int id);
    void showQuietly(Binding& b);
    void updateHints();
    void applyEffect(const SetupParameter& p, double value);
    void showSlider(Binding& b);
    // Sends through the door; false (and the status says so) when the unit did not get it.
    bool send(const Binding& b, std::uint8_t plain, const QString& shown = {});
    bool sendChoice(const Binding& b, std::uint8_t plain);
    QString notReachedText(const Binding& b, std::uint8_t plain, const QString& shown) const;
    void status(const QString& text) const;
    int edgeState(const Binding& b) const;
    SetupContext contextFor(const SetupParameter& p) const;
    Binding& binding(int id) { return bindings_.at(id); }

    EmuState& state_;
    CalibrationEditor& editor_;
    SetupPageHooks hooks_;
    std::map<int, Binding> bindings_;
    std::map<QString, QLineEdit*> infoBoxes_;
    QWidget* parametersPanel_ = nullptr;
    QGroupBox* outputPanel_ = nullptr;
    QWidget* pumpSliders_ = nullptr;
    QWidget* realTimeFrame_ = nullptr;
    bool filled_ = false;
    bool filling_ = false; // a fill runs: its sends are echoes, a failed one is not reported
    bool quiet_ = false;   // showing a value from the door: the handlers send nothing
    int sendingId_ = -1;   // the parameter this page is sending: its control shows it already
};
