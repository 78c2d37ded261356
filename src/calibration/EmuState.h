#pragma once

#include "calibration/CalibrationData.h"
#include "link/LinkState.h"

// Everything the program knows, in one place: the main window owns the one instance and every
// handler reads and writes it.
struct EmuState {
    LinkState link;
    CalibrationData cal;
};
