#pragma once

#include "calibration/CalibrationData.h"
#include "calibration/MapTable.h"
#include "monitor/LiveDecode.h"

// Which fuel points the unit uses at an operating point: the RPM curve of the load band (chosen by
// the manifold reading against the low and high throttle thresholds), its point by RPM, and the
// fuel-vacuum point by the manifold reading; the corrections by temperature and battery voltage.
// Each reading takes its nearest point; readings beyond an axis take its last point.
namespace FuelPoints {

constexpr int kRpmPoints = 32;
constexpr int kVacuumPoints = 64;
constexpr int kCorrectionPoints = 24;
constexpr int kVoltagePoints = 16;

// Below the low threshold "Low", above the high one "High", strictly between "Cruise". A reading
// equal to a threshold keeps the band before it (Cruise when there is none).
FuelCurve bandFor(double vacuumBar, double lowBar, double highBar, FuelCurve previous = FuelCurve::None);
MapId rpmMapOf(FuelCurve band); // FuelRpmLow, FuelRpmCruise or FuelRpmHigh (Cruise for None)

int rpmPoint(double rpm, int rpmRange);
int vacuumPoint(double bar, int vacuumRange); // vacuumRange in tenths of a bar
int waterPoint(double celsius);
int airPoint(double celsius);
int voltagePoint(double volts);

} // namespace FuelPoints
