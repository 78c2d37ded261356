#pragma once

#include "link/ImageLayout.h"

#include <QString>

#include <array>
#include <cstdint>

// A realistic starting calibration for a four-cylinder engine, in wire form (plain + 1): a full
// setup block, a timing curve that rises from 10 degrees at idle to 32 by 4500 RPM, a little
// vacuum advance and fuel maps and corrections near 0 %. Regions a type does not use hold flat,
// neutral values.
namespace SimBaseTune {

constexpr std::uint8_t kNotPresent = 255; // wire byte of a setup parameter the unit lacks

// The serial text "AB-010203-04": two letters, three two-digit numbers, the hardware number.
// Returns false (and leaves the bytes alone) when the text does not have that shape.
bool encodeSerial(const QString& serial, std::array<std::uint8_t, kImageReplySize>& wire);

std::array<std::uint8_t, kImageReplySize> build(int type, const QString& serial);

} // namespace SimBaseTune
