#include "mixture/FuelPoints.h"

namespace FuelPoints {

FuelCurve bandFor(double vacuumBar, double lowBar, double highBar, FuelCurve previous) {
    if (vacuumBar < lowBar)
        return FuelCurve::Low;
    if (vacuumBar > highBar)
        return FuelCurve::High;
    if (vacuumBar > lowBar && vacuumBar < highBar)
        return FuelCurve::Cruise;
    return previous == FuelCurve::None ? FuelCurve::Cruise : previous;
}

MapId rpmMapOf(FuelCurve band) {
    switch (band) {
    case FuelCurve::Low:
        return MapId::FuelRpmLow;
    case FuelCurve::High:
        return MapId::FuelRpmHigh;
    default:
        return MapId::FuelRpmCruise;
    }
}

// Point n of an RPM curve sits at n x (rpmRange / 100) / 32 hundreds of RPM.
int rpmPoint(double rpm, int rpmRange) {
    if (rpmRange <= 0)
        return 1;
    return LiveDecode::clampedPoint(rpm / rpmRange * kRpmPoints, 1, kRpmPoints);
}

// Point n of the fuel-vacuum map sits at n / 64 x vacuumRange / 10 bar.
int vacuumPoint(double bar, int vacuumRange) {
    if (vacuumRange <= 0)
        return 1;
    return LiveDecode::clampedPoint(bar * kVacuumPoints / (vacuumRange / 10.0), 1, kVacuumPoints);
}

// Water points every 5 degrees C from 5 to 120.
int waterPoint(double celsius) {
    return LiveDecode::clampedPoint(celsius / 5.0, 1, kCorrectionPoints);
}

// Air points spread over -20..100 degrees C.
int airPoint(double celsius) {
    return LiveDecode::clampedPoint((celsius + 20.0) / (120.0 / 23.0) + 1.0, 1, kCorrectionPoints);
}

// Voltage points from 8.0 to 16.0 V: x of point n is (n + 14) / 15 x 8.
int voltagePoint(double volts) {
    return LiveDecode::clampedPoint(volts * 15.0 / 8.0 - 14.0, 1, kVoltagePoints);
}

} // namespace FuelPoints
