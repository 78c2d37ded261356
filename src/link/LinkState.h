#pragma once

#include "link/EmuIdentity.h"

#include <QString>

// The link-state flags and identity texts. All false or empty at start.
struct LinkState {
    bool EmuConnected = false;  // a live, compatible unit is on the selected port; gates the poll
    bool DataReady = false;     // the controls hold loaded data; edits are sent only while set
    bool FileMode = false;      // setup and maps came from a file
    bool FileDataShown = false; // the next Connect keeps the file's data and only re-identifies
    bool SetupChanged = false;  // setup values on the PC differ from the unit
    bool MapsChanged = false;   // map values on the PC differ from the unit
    // The window shows the connected unit's own data (read from it, or written to it), so edits
    // go to it; false for a file's data and after Close all, when edits stay on the PC.
    bool UnitInStep = false;
    // The unit at the port is being identified again after the link came back: no edit is made.
    bool Verifying = false;
    int SelectedPort = 0;       // the port the link-lost dialog reopens
    // The window holds a complete calibration (read whole from a unit or opened from a file), and
    // the model it belongs to; only such a calibration may be written to a unit of that model.
    bool CalibrationLoaded = false;
    int CalibrationModel = 0;

    EmuIdentity Identity;
    QString FirmwareVersionText;
    QString EmuTypeText;
    QString SerialNumberText;
    QString VersionNoticeText;

    bool hasPendingChanges() const { return SetupChanged || MapsChanged; }
};
