#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// The rules of the number fields that pass a raw setup byte to the unit: the three sensor
// calibration numbers and the service field of setup parameter 13.
namespace SensorCalibration {

constexpr int kWaterTempId = 44; // Edit52
constexpr int kAirTempId = 50;   // Edit58
constexpr int kMapSensorId = 52; // Edit60
constexpr int kParameter13Id = 13;

constexpr int kSensorLimit = 500;      // sensor numbers are 0..499, sent as their low 8 bits
constexpr int kParameter13Limit = 256; // parameter 13 is 0..255
constexpr int kMaxDigits = 3;

// Setup offsets of the sensors' fitted flags (plain 2: fitted), which enable their buttons.
constexpr int kThrottleFittedOffset = 5;
constexpr int kWaterFittedOffset = 6;
constexpr int kAirFittedOffset = 7;
constexpr int kMapFittedOffset = 9;

struct Action {
    enum class Kind { Nothing, ReplaceWithZero, Send };
    Kind kind = Kind::Nothing;
    std::uint8_t plain = 0; // Send: the byte for the unit
};

// What a change of a field's text does: nothing without loaded data, for an empty text or one that
// is not a decimal number; "0" in place of a number outside 0..limit-1; otherwise send its low
// 8 bits.
Action actionFor(const QString& text, int limit, bool dataReady);

// A Calibrate button is enabled while a unit is connected and its sensor is fitted.
bool buttonEnabled(bool emuConnected, std::uint8_t fittedWireByte);

} // namespace SensorCalibration
