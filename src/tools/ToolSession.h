#pragma once

#include <QString>

class CalibrationEditor;
class EmuLink;
struct EmuState;

// What the calibration and service dialogs may use of the program: the state, the edit door,
// the link owner and the two things of the main window they change. The main window implements
// it; the dialogs never see the window itself.
class ToolSession {
  public:
    virtual ~ToolSession() = default;

    virtual EmuState& state() = 0;
    virtual CalibrationEditor& editor() = 0;
    virtual EmuLink& link() = 0;

    // The main window's caption, the first line of the About text.
    virtual QString programCaption() const = 0;
    // The unit description in the status bar (panel 1).
    virtual void showUnitDescription(const QString& text) = 0;
    // The dialogs are shown over a disabled main window and give it back when they close.
    virtual void setMainWindowEnabled(bool enabled) = 0;
};
