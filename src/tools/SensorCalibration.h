#pragma once

#include "link/SetupIds.h"

#include <QString>

#include <cstdint>
#include <optional>

// The rules of the number fields that pass a raw setup byte to the unit: the three sensor
// calibration numbers and the service field of setup parameter 13.
namespace SensorCalibration {

constexpr int kSensorLimit = 500;      // sensor numbers are 0..499, sent as their low 8 bits
constexpr int kParameter13Limit = 256; // parameter 13 is 0..255
constexpr int kMaxDigits = 3;

struct Action {
    enum class Kind {
        Nothing, // an emptied field: the unit's value comes back, nothing is sent
        Refuse,  // not sent; reason says why
        Send,
    };
    Kind kind = Kind::Nothing;
    std::uint8_t plain = 0; // Send: the byte for the unit
    QString reason;         // Refuse: "accepts 0 to 499: 500 was not sent"
};

// What a committed field text does: nothing for an empty text; refused without loaded data, for a
// text that is not a decimal number (the toolkit's conversion error) and for a number outside
// 0..limit-1; otherwise its low 8 bits are sent.
Action actionFor(const QString& text, int limit, bool dataReady);

// The text a field shows for the byte the unit holds (wire form): the plain value.
QString fieldText(std::uint8_t wire);

// A Calibrate button is enabled while a unit is connected and its sensor is fitted.
bool buttonEnabled(bool emuConnected, std::uint8_t fittedWireByte);

} // namespace SensorCalibration
