#include "link/Connection.h"
#include "link/SetupIds.h"

#include "link/ImageLayout.h"
#include "link/PortNaming.h"

#include <QLocale>

#include <algorithm>

namespace Connection {

namespace {

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Two decimal digits for a wire byte below 11 (plain value below 10).
QString twoDigits(std::uint8_t wire) {
    const int value = plainFromWire(wire);
    return (wire < 11 ? QStringLiteral("0") : QString()) + QString::number(value);
}

QChar letterOf(std::uint8_t wire) {
    return QChar(static_cast<char16_t>(plainByteFromWire(wire)));
}

} // namespace

QString cutIdentityText(int received) {
    return QStringLiteral("The EMU's identity came incomplete (%1 of 7 bytes); nothing was loaded.")
        .arg(received);
}

QString conversionErrorText(const QString& text) {
    return QLatin1Char('\'') + text + QStringLiteral("' is not a valid integer value.");
}

std::optional<int> parsePortNumber(const QString& selectorText, QString* errorText) {
    const QString head = selectorText.left(5);
    const QString digits = head.mid(3, 2);
    const bool valid = !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), isAsciiDigit);
    if (!valid) {
        if (errorText)
            *errorText = conversionErrorText(digits);
        return std::nullopt;
    }
    return digits.toInt();
}

std::optional<double> parseFirmwareVersion(const QString& text) {
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok)
        return std::nullopt;
    return value;
}

int compareSoftwareVersion(const QString& firmwareVersionText) {
    const auto firmware = parseFirmwareVersion(firmwareVersionText);
    if (!firmware)
        return 1;
    if (kSoftwareFirmwareVersion < *firmware)
        return -1;
    if (kSoftwareFirmwareVersion > *firmware)
        return 1;
    return 0;
}

QString versionNoticeText(const QString& firmwareVersionText, bool softwareHigher) {
    QString text =
        QStringLiteral("Please download the correct version of the EMU Interface Software from our "
                       "website. The version required is v") +
        firmwareVersionText;
    if (softwareHigher)
        text += QStringLiteral(".  Alternatively, please send in your EMU for the latest firmware upgrade.");
    else
        text += QLatin1Char('.');
    return text;
}

QString serialNumberText(const std::uint8_t* setupBlock) {
    QString text;
    text += letterOf(setupBlock[SetupId::CustomerLetter1]);
    text += letterOf(setupBlock[SetupId::CustomerLetter2]);
    text += QLatin1Char('-');
    text += twoDigits(setupBlock[SetupId::SerialNumber1]) + twoDigits(setupBlock[SetupId::SerialNumber2]) +
            twoDigits(setupBlock[SetupId::SerialNumber3]);
    text += QLatin1Char('-');
    text += twoDigits(setupBlock[SetupId::HardwareNumber]);
    return text;
}

QString unitDescription(const EmuIdentity& identity, const QString& serial) {
    QString text = QStringLiteral("EMU ") + QString::number(identity.model()) + QStringLiteral(" v") +
                   identity.firmwareVersionText();
    if (!serial.isEmpty())
        text += QStringLiteral(" :: ") + serial;
    return text;
}

QString searchFoundText(const QString& typeText, int port) {
    return typeText + QStringLiteral(" Module found on Com") + QString::number(port);
}

QString refreshFoundText(const EmuIdentity& identity, int port) {
    return QStringLiteral("EFI version ") + identity.firmwareVersionText() + QStringLiteral(" found on Com") +
           QString::number(port);
}

QString portProblemReason(TQCCom32::OpenError error) {
    switch (error) {
    case TQCCom32::OpenError::PermissionDenied:
        return QStringLiteral("your user account is not allowed to use serial ports");
    case TQCCom32::OpenError::Busy:
        return QStringLiteral("it is in use by another program");
    case TQCCom32::OpenError::NoDevice:
        return QStringLiteral("there is no serial device there");
    default:
        return QStringLiteral("the device refused to open");
    }
}

QString portProblemAdvice(TQCCom32::OpenError error) {
    switch (error) {
    case TQCCom32::OpenError::PermissionDenied:
        return QStringLiteral("Add yourself to the dialout group with\n"
                              "    sudo usermod -aG dialout $USER\n"
                              "then log out and log in again.");
    case TQCCom32::OpenError::Busy:
        return QStringLiteral("Close the other program that uses it.");
    case TQCCom32::OpenError::NoDevice:
        return QStringLiteral("Plug in the cable, or choose another port.");
    default:
        return {};
    }
}

QString portProblemText(TQCCom32::OpenError error, int port, const QString& device) {
    if (error != TQCCom32::OpenError::PermissionDenied && error != TQCCom32::OpenError::Busy)
        return {};
    QString advice = portProblemAdvice(error);
    advice.chop(1); // the window's own ending follows
    advice += error == TQCCom32::OpenError::Busy ? QStringLiteral(", then press \"Refresh Com Port\".")
                                                 : QStringLiteral(", and start the EMU Interface once more.");
    return PortNaming::portName(port) + QStringLiteral(" (") + device +
           QStringLiteral(") could not be opened: ") + portProblemReason(error) + QStringLiteral(".\n\n") +
           advice;
}

} // namespace Connection
