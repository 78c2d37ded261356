#include "link/EmuIdentity.h"

#include "link/EmuProtocol.h"

EmuIdentity EmuIdentity::fromReply(const QByteArray& reply) {
    EmuIdentity id;
    id.fill(kReplyFillByte);
    copyReply(reply, id.bytes.data(), static_cast<int>(id.bytes.size()), EmuLength::kIdentity);
    return id;
}

QString EmuIdentity::firmwareVersionText() const {
    return QString::number(bytes[0]) + QLatin1Char('.') + QString::number(bytes[2]);
}

QString EmuIdentity::releaseLetter() const {
    if (plainFromWire(bytes[3]) <= 0)
        return {};
    return QString(QChar(static_cast<char16_t>((bytes[3] + 63) & 0xFF)));
}

QString EmuIdentity::signature() const {
    return QString::number(bytes[5]) + QString::number(bytes[6]);
}

QString EmuIdentity::searchTypeText(int model) {
    switch (model) {
    case 1:
        return QStringLiteral("Timing");
    case 2:
        return QStringLiteral("Fuel");
    case 3:
        return QStringLiteral("Fuel and Timing");
    default:
        return {};
    }
}

QString EmuIdentity::connectTypeText(int model) {
    switch (model) {
    case 1:
        return QStringLiteral("Timing and Vacuum");
    case 2:
        return QStringLiteral("Fuel");
    case 3:
        return QStringLiteral("Fuel and Timing");
    case 5:
    case 6:
        return QStringLiteral("Advanced Fuel and Timing");
    default:
        return {};
    }
}
