#pragma once

#include "calibration/MapTable.h"
#include "link/ImageLayout.h"

#include <QByteArray>

#include <array>
#include <cstdint>

constexpr std::uint8_t kTrailerPlain = 56; // character "8"; wire form 57
constexpr int kDefaultRpmRange = 7000;
constexpr int kMaxMapPoints = 100;

// A map array: double values indexed from 1 (index 0 is unused).
using MapArray = std::array<double, kMaxMapPoints + 1>;

// The calibration buffers and the in-memory maps. Bytes are kept in wire form (value + 1) except
// PlainImage. Owned by the window's state object for the whole run.
struct CalibrationData {
    std::array<std::uint8_t, kSetupBlockSize> SetupBlock{};
    std::array<std::uint8_t, kImageSize> ReceivedImage{};
    std::array<std::uint8_t, kImageSize> OutgoingImage{};
    std::array<std::uint8_t, kImageSize> PlainImage{};
    QByteArray OutgoingImageText; // 482 characters, written to files
    QByteArray PlainImageText;    // 482 characters, sent by the write command

    std::array<MapArray, kMapCount> maps{};
    MapArray VacuumAxis{};
    MapArray FuelVacuumAxis{};

    int MainJetTrim = 0;
    int IdleJetTrim = 0;

    bool HasTimingMaps = false;
    bool HasVacuumMap = false;
    bool HasFuelMaps = false;

    // Values derived from setup offsets 80..85 (a 255 byte leaves them unchanged).
    int Cylinders = 0;
    int RpmRange = kDefaultRpmRange;
    double CoilTimeMs = 0;
    int VacuumRange = 10;
    int RpmLimiter = 0;
    int Setup85 = 0;
    int TimingPointCount = 70;

    // The Setup tab's vacuum thresholds (bar) and lambda target (volts), last accepted or filled.
    double LowThrottleVacuum = 0;
    double HighThrottleVacuum = 0;
    double LambdaTarget = 0.5;
    // The throttle sensor's closed reading and its travel to fully open (setup offsets 38 and 39),
    // taken at Connect and stored by the throttle calibration.
    int TPSMin = 0;
    int TPSSpan = 100;

    MapArray& map(MapId id) { return maps[static_cast<int>(id)]; }
    const MapArray& map(MapId id) const { return maps[static_cast<int>(id)]; }
    MapScales scales() const { return {RpmRange, VacuumRange, TimingPointCount}; }
    bool hasFamily(MapFamily f) const;
};

// Sets the map-family flags for an EMU type (1, 2, 3, 5, 6); other types set none. Flags are only
// ever set, never cleared, within one run.
void setFamiliesForModel(CalibrationData& data, int model);

// Derives Cylinders, RpmRange (7000 for 0), CoilTimeMs, VacuumRange, RpmLimiter, Setup85 and
// TimingPointCount from SetupBlock offsets 80..85.
void deriveSetupValues(CalibrationData& data);

// Decodes ReceivedImage (and the jet trims from SetupBlock) into the map and axis arrays, for the
// families the unit has. All 100 timing points are decoded, so a build reproduces the image. Values
// are not range-checked: wire byte b gives b - 1 - the map's plain offset (wire 0 gives -1 - offset).
// The jet trims are plain bytes 0..255 (a setup byte 0 gives 255).
void decodeImage(CalibrationData& data);
// The vacuum maps' x of each point from VacuumRange (after a read or a new range).
void placeVacuumAxes(CalibrationData& data);

// The ImageBuilder: fills OutgoingImage, PlainImage and their texts from SetupBlock and the maps.
// Every region is written at its layout offset, whatever the type; regions the type lacks carry
// ReceivedImage over unchanged. Setup bytes pass through (255 stays 255, plain 254). Map values go
// through roundToByte (halves to even, modulo 256). The trailer is plain 56, wire 57.
void buildImage(CalibrationData& data);

// Close all: zeroes SetupBlock, ReceivedImage, every map (all points) and both vacuum axes. The
// outgoing buffers, the jet trims, the derived values and the family flags are left as they are.
void clearCalibration(CalibrationData& data);
