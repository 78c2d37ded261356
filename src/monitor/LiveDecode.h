#pragma once

#include "calibration/CalibrationData.h"
#include "calibration/LiveValues.h"

#include <QByteArray>

#include <array>
#include <cstdint>

// The receive buffer of the live frame. A reply is copied up to its first zero byte (at most ten
// characters) and a zero is written after the last one copied; the positions beyond keep the
// previous frame, so a short reply changes only the bytes it brought.
class LiveFrameBuffer {
  public:
    static constexpr int kFrameBytes = 10;
    static constexpr int kDecodedBytes = 9;

    // A reply that brings every decoded byte; an empty or short one is a missed frame.
    static bool isWhole(const QByteArray& reply);

    void take(const QByteArray& reply);
    std::uint8_t at(int index) const { return bytes_[static_cast<size_t>(index)]; }
    // Nothing came: the first byte is the terminator.
    bool empty() const { return bytes_[0] == 0; }

  private:
    std::array<std::uint8_t, kFrameBytes + 1> bytes_{};
};

// What the live decode needs from the calibration: scales and the setup switches it depends on.
struct LiveSettings {
    int vacuumRange = 10;            // "Map Sensor (kPa x10)"
    int rpmRange = 7000;             // RPM
    int timingPointCount = 70;       // points of the timing map
    bool mapSensor = false;          // "Map Sensor" checked: no 1 degree taken off the live timing
    bool twoStroke = false;          // "Two Stroke" checked: the injector opens every turn
    double lowThrottleVacuum = 0.1;  // bar; below it tracking selects the "Low" curve
    double highThrottleVacuum = 0.9; // bar; above it tracking selects the "High" curve
    double lambdaTarget = 0.5;       // volts
};
LiveSettings liveSettings(const CalibrationData& cal);

// Fuel RPM curve chosen by real-time tracking.
enum class FuelCurve { None, Low, Cruise, High };

namespace LiveDecode {

// A real rounded to two decimals (halves to even on the hundredths).
double roundHundredths(double x);

// A point number in lo..hi; NaN and infinities take the nearest end (NaN the low one).
int clampedPoint(double x, int lo, int hi);

// Bytes 0..8 of the buffer into values (the derived timing and duty are left alone).
void decodeFrame(const LiveFrameBuffer& frame, int vacuumRange, LiveValues& live);

// The advance the maps give at the operating point: timing by RPM + vacuum timing + air
// temperature timing, less 1 without a map sensor. Readings beyond an axis take its last point.
double liveTiming(const LiveValues& live, const CalibrationData& cal, const LiveSettings& s);

// Injector open time over the time of two turns (one on a two-stroke), in percent. Unchanged
// (nullopt-like: returns previous) while the engine stands.
int injectorDuty(const LiveValues& live, bool twoStroke, int previous);

LambdaHalves lambdaHalves(double lambdaHundredths);

// Tracking: below low selects Low, above high High, strictly between Cruise; equal to a threshold
// keeps the current selection (None).
FuelCurve trackedCurve(double vacuum, double low, double high);

// Decode and derive in one step, as the poll does for each frame.
void update(LiveValues& live, const LiveFrameBuffer& frame, const CalibrationData& cal);

} // namespace LiveDecode
