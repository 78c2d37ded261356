#pragma once

#include "calibration/CalibrationData.h"
#include "calibration/SettingsFile.h"

#include <array>
#include <cstdint>

using WireImage = std::array<std::uint8_t, kImageSize>;

// Setup offsets the tests set on purpose.
constexpr int kRpmRangeByteOffset = 81;
constexpr int kVacuumRangeByteOffset = 83;

// A realistic wire image (what a unit of this type sends, or a file holds): a setup block with
// "not present" bytes (255), the given RPM-range byte at offset 81, smooth curves in every region
// (regions the type lacks hold bytes too, as a unit's memory does). With storedZeros, a few
// positions hold wire 0 (a stored 255), which only a file can carry.
WireImage realisticImage(int type, std::uint8_t rpmRangeByte, bool storedZeros);

// A unit's identity of this type (firmware 1.13, release A, live signature "56").
EmuIdentity unitIdentity(int type);

// The state after a file open or a read: ReceivedImage, SetupBlock, families, derived values,
// then the decode. The map arrays start from a sentinel so that untouched maps show.
CalibrationData decodedFrom(const WireImage& image, int type);

constexpr double kUntouched = -777.25;
