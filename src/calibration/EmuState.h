#pragma once

#include "calibration/CalibrationData.h"
#include "link/LinkState.h"
#include "calibration/LiveValues.h"

// Everything the program knows, in one place: the main window owns the one instance and every
// handler reads and writes it.
struct EmuState {
    LinkState link;
    CalibrationData cal;
    LiveValues live; // written only by the live poll
};
