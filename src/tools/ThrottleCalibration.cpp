#include "tools/ThrottleCalibration.h"
#include "link/SetupIds.h"

#include "calibration/CalibrationData.h"

#include <algorithm>

const QString ThrottleCalibration::kOpenText =
    QStringLiteral("Open throttle as far as possible and press F1");
const QString ThrottleCalibration::kReleaseText = QStringLiteral("Release throttle completely and press F1");
const QString ThrottleCalibration::kErrorText = QStringLiteral("Error...please try again or click CANCEL");
const QString ThrottleCalibration::kDoneText =
    QStringLiteral("TPS Calibrated. Please click OK to return to the SETUP tab");

void ThrottleCalibration::start(int tpsMin, int tpsSpan) {
    minimum_ = tpsMin;
    maximum_ = tpsMin + tpsSpan;
    MaxCaptured = false;
    MinCaptured = false;
    okEnabled_ = false;
    errorPause_ = false;
    panelText_ = kOpenText;
}

QString ThrottleCalibration::errorText(int open, int closed) {
    QString why;
    if (open == closed) {
        why = QStringLiteral("Both readings are %1: the throttle did not move between the two presses of F1.")
                  .arg(open);
    } else if (kBarMaximum - open >= closed - kBarMinimum) {
        // The open reading is the further from its end of the bar: that is the capture to redo.
        why = QStringLiteral("The open throttle reading (%1) is below the closed throttle reading (%2): the "
                             "throttle was not fully open at the first F1.")
                  .arg(open)
                  .arg(closed);
    } else {
        why = QStringLiteral("The closed throttle reading (%1) is above the open throttle reading (%2): the "
                             "throttle was not released at the second F1.")
                  .arg(closed)
                  .arg(open);
    }
    return kErrorText + QLatin1Char('\n') + why;
}

ThrottleCalibration::Capture ThrottleCalibration::capture(int reading) {
    if (errorPause_)
        return Capture::Ignored;
    const int position = std::clamp(reading, kBarMinimum, kBarMaximum);
    if (!MaxCaptured) {
        maximum_ = position;
        MaxCaptured = true;
        panelText_ = kReleaseText;
    } else {
        minimum_ = position;
        MinCaptured = true;
    }
    if (MinCaptured && minimum_ >= maximum_) {
        panelText_ = errorText(maximum_, minimum_);
        minimum_ = kResetMinimum;
        maximum_ = kResetMinimum + kResetSpan;
        MaxCaptured = false;
        MinCaptured = false;
        okEnabled_ = false;
        errorPause_ = true;
        return Capture::Error;
    }
    if (MaxCaptured && MinCaptured) {
        panelText_ = kDoneText;
        okEnabled_ = true;
        return Capture::Calibrated;
    }
    return Capture::MaximumTaken;
}

void ThrottleCalibration::endErrorPause() {
    if (!errorPause_)
        return;
    errorPause_ = false;
    panelText_ = kOpenText;
}

void ThrottleCalibration::reset() {
    start(kResetMinimum, kResetSpan);
}

std::optional<int> throttleReading(const QByteArray& frame) {
    if (frame.size() <= ThrottleCalibration::kFrameByte)
        return std::nullopt;
    for (int i = 0; i <= ThrottleCalibration::kFrameByte; ++i) {
        if (frame.at(i) == 0)
            return std::nullopt;
    }
    return plainFromWire(static_cast<std::uint8_t>(frame.at(ThrottleCalibration::kFrameByte)));
}

void deriveThrottleCalibration(CalibrationData& data) {
    constexpr std::uint8_t kMissing = 255;
    const std::uint8_t minByte = data.SetupBlock[SetupId::ThrottleMinimum];
    const std::uint8_t spanByte = data.SetupBlock[SetupId::ThrottleSpan];
    if (minByte == 0 || spanByte <= 1 || minByte == kMissing || spanByte == kMissing) {
        data.TPSMin = ThrottleCalibration::kResetMinimum;
        data.TPSSpan = ThrottleCalibration::kResetSpan;
        return;
    }
    data.TPSMin = plainFromWire(minByte);
    data.TPSSpan = plainFromWire(spanByte);
}
