#include "tools/SensorCalibration.h"

namespace SensorCalibration {

Action actionFor(const QString& text, int limit, bool dataReady) {
    if (!dataReady || text.isEmpty())
        return {};
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        return {};
    if (value < 0 || value >= limit)
        return {Action::Kind::ReplaceWithZero, 0};
    return {Action::Kind::Send, static_cast<std::uint8_t>(value & 0xFF)};
}

bool buttonEnabled(bool emuConnected, std::uint8_t fittedWireByte) {
    constexpr std::uint8_t kFittedWire = 3; // plain 2
    return emuConnected && fittedWireByte == kFittedWire;
}

} // namespace SensorCalibration
