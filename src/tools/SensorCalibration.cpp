#include "tools/SensorCalibration.h"
#include "link/ImageLayout.h"

#include "link/Connection.h"

namespace SensorCalibration {

namespace {

Action refuse(const QString& reason) {
    return {Action::Kind::Refuse, 0, reason};
}

} // namespace

Action actionFor(const QString& text, int limit, bool dataReady) {
    if (text.isEmpty())
        return {};
    if (!dataReady)
        return refuse(QStringLiteral("no data is loaded, nothing was sent"));
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        return refuse(Connection::conversionErrorText(text));
    if (value < 0 || value >= limit)
        return refuse(QStringLiteral("accepts 0 to %1: %2 was not sent").arg(limit - 1).arg(text));
    return {Action::Kind::Send, static_cast<std::uint8_t>(value & 0xFF), {}};
}

QString fieldText(std::uint8_t wire) {
    return QString::number(plainByteFromWire(wire));
}

bool buttonEnabled(bool emuConnected, std::uint8_t fittedWireByte) {
    constexpr std::uint8_t kFittedWire = 3; // plain 2
    return emuConnected && fittedWireByte == kFittedWire;
}

} // namespace SensorCalibration
