#pragma once

#include "link/SetupIds.h"
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

struct CalibrationData;

// The guided throttle calibration without its window: the two captures, the fields they fill,
// the instruction text and whether "OK" may store the result.
class ThrottleCalibration {
  public:
    static const QString kOpenText;
    static const QString kReleaseText;
    static const QString kErrorText;
    static const QString kDoneText;

    static constexpr int kFrameByte = 2; // the throttle's byte in the live frame
    static constexpr int kResetMinimum = 0;
    static constexpr int kResetSpan = 100;
    static constexpr int kBarMinimum = 0; // the dialog's bar, and the range a capture is held to
    static constexpr int kBarMaximum = 100;

    enum class Capture { Ignored, MaximumTaken, Error, Calibrated };

    // A new showing: the fields show the stored calibration, nothing is captured, "OK" is off.
    void start(int tpsMin, int tpsSpan);
    // F1 with the throttle at this reading. The reading itself is taken, held to the bar's range:
    // a sensor that reads past the bar's end at wide-open throttle captures the end, not whatever
    // the bar last showed.
    Capture capture(int reading);
    // The pause after a failed capture is over: ask for the open throttle again.
    void endErrorPause();
    // "Reset": the fields show 0 and 100 and the captures start again.
    void reset();

    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int span() const { return maximum_ - minimum_; }
    const QString& panelText() const { return panelText_; }
    bool okEnabled() const { return okEnabled_; }
    bool inErrorPause() const { return errorPause_; }
    bool maxCaptured() const { return MaxCaptured; }
    bool minCaptured() const { return MinCaptured; }

    // The panel's text after a failed capture: the required words, then which capture was wrong
    // and why.
    static QString errorText(int open, int closed);

  private:
    int minimum_ = 0;
    int maximum_ = 100;
    bool MaxCaptured = false;
    bool MinCaptured = false;
    bool okEnabled_ = false;
    bool errorPause_ = false;
    QString panelText_ = kOpenText;
};

// The throttle reading of a live frame (wire byte 2 minus 1), or nothing when the reply did not
// reach that byte or carried a 0 before it (the unit sends no 0).
std::optional<int> throttleReading(const QByteArray& frame);

// TPSMin and TPSSpan from setup offsets 38 and 39 as Connect takes them: plain values, and 0 and
// 100 when the span is 0 or either byte says the parameter is missing.
void deriveThrottleCalibration(CalibrationData& data);
