#include "SimBaseTune.h"

#include "calibration/MapTable.h"
#include "calibration/Rounding.h"
#include "link/EmuProtocol.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace {

constexpr int kSetupSize = kSetupBlockSize;
constexpr int kRpmRangeHundreds = 80;
constexpr int kVacuumRange = 10;
const MapScales kScales{kRpmRangeHundreds * 100, kVacuumRange, kRpmRangeHundreds};

// Plain values of the setup parameters the unit has; every other setup offset is not present.
constexpr std::pair<int, int> kSetup[] = {
    {0, 60},
    {1, 36},
    {2, 127},
    {3, 128},
    {4, 20},
    {5, 2},
    {6, 2},
    {7, 2},
    {8, 2},
    {9, 2},
    {10, 45},
    {11, 50},
    {12, 10},
    {14, 0},
    {15, 75},
    {16, 20},
    {17, 5},
    {18, 20},
    {19, 80},
    {20, 0},
    {21, 0},
    {22, 0},
    {23, 5},
    {24, 5},
    {25, 18},
    {26, 5},
    {27, 5},
    {28, 18},
    {29, 0},
    {30, 0},
    {31, 0},
    {32, 0},
    {33, 0},
    {34, 0},
    {35, 9},
    {36, 30},
    {37, 0},
    {38, 10},
    {39, 80},
    {40, 30},
    {41, 70},
    {42, 150},
    {43, 50},
    {44, 100},
    {46, 40},
    {47, 10},
    {48, 100},
    {49, 1},
    {50, 100},
    {51, 10},
    {52, 100},
    {53, 10},
    {54, 10},
    {55, 20},
    {56, 200},
    {58, 0},
    {59, 0},
    {80, 4},
    {81, kRpmRangeHundreds},
    {82, 6},
    {83, kVacuumRange},
    {84, 75},
    {85, 1},
    {86, 1},
};

bool typeUses(int type, MapFamily family) {
    switch (type) {
    case 1:
        return family != MapFamily::Fuel;
    case 2:
        return family == MapFamily::Fuel;
    default:
        return true;
    }
}

// The map's value (degrees or percent) at point i.
double tunedValue(MapId id, int i) {
    const double x = mapPointX(id, i, kScales);
    switch (id) {
    case MapId::Timing: // x: RPM / 100
        return std::clamp(10.0 + 22.0 * (x - 9.0) / 36.0, 10.0, 32.0);
    case MapId::VacuumTiming: // x: bar
        return 6.0 * (1.0 - x);
    case MapId::FuelVacuum:
        return -3.0 + 7.0 * x * x;
    case MapId::FuelRpmCruise:
        return 2.0 * std::sin(std::numbers::pi * x / kRpmRangeHundreds);
    case MapId::FuelRpmLow:
        return 2.0 - 2.0 * x / kRpmRangeHundreds;
    case MapId::FuelRpmHigh:
        return 4.0 + 2.0 * x / kRpmRangeHundreds;
    case MapId::WaterTemp: // x: degrees C; richer when cold
        return std::max(0.0, 20.0 * (1.0 - (x - 5.0) / 65.0));
    case MapId::AirTempFuel:
        return (20.0 - x) / 15.0;
    case MapId::Voltage: // x: volts; longer pulses for a weak battery
        return std::max(0.0, (13.5 - x) * 4.0);
    case MapId::AirTempTiming:
        return x > 60.0 ? -(x - 60.0) / 20.0 : 0.0;
    }
    return 0.0;
}

// What a map holds when the unit does not use it.
double neutralValue(MapId id) {
    return id == MapId::Timing ? 10.0 : 0.0;
}

std::uint8_t wire(int plain) {
    return wireFromPlain(plain);
}

} // namespace

bool SimBaseTune::encodeSerial(const QString& serial, std::array<std::uint8_t, kImageReplySize>& image) {
    static const QRegularExpression shape(
        QStringLiteral("^([A-Za-z])([A-Za-z])-(\\d\\d)(\\d\\d)(\\d\\d)-(\\d\\d)$"));
    const QRegularExpressionMatch m = shape.match(serial.trimmed());
    if (!m.hasMatch())
        return false;
    image[98] = wire(m.captured(1).toUpper().at(0).unicode());
    image[99] = wire(m.captured(2).toUpper().at(0).unicode());
    for (int k = 0; k < 4; ++k)
        image[94 + k] = wire(m.captured(3 + k).toInt());
    return true;
}

std::array<std::uint8_t, kImageReplySize> SimBaseTune::build(int type, const QString& serial) {
    std::array<std::uint8_t, kImageReplySize> image{};
    std::fill(image.begin(), image.begin() + kSetupSize, kNotPresent);
    for (const auto& [offset, plain] : kSetup)
        image[offset] = wire(plain);
    if (!encodeSerial(serial, image))
        encodeSerial(QStringLiteral("AB-010203-04"), image);

    for (const MapInfo& map : mapTable()) {
        const bool used = typeUses(type, map.family);
        for (int i = 1; i <= map.points; ++i) {
            const double value = used ? tunedValue(map.id, i) : neutralValue(map.id);
            image[map.imageOffset + i - 1] = wire(roundHalfEven(value) + map.plainOffset);
        }
    }
    return image;
}
