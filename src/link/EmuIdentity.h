#pragma once

#include <QString>

#include <array>
#include <cstdint>

// The seven-byte reply to the identify command (or the identity a settings file supplies):
// 0 firmware version, 1 model, 2 firmware release, 3 release letter (value + 1), 4 unused,
// 5 and 6 the signature digits ("56" a live unit, "44" an identity loaded from a file).
struct EmuIdentity {
    std::array<std::uint8_t, 8> bytes{}; // 7 identity bytes and room for the copy's closing 0

    static EmuIdentity fromReply(const QByteArray& reply); // 48 fill, then the copy
    void fill(std::uint8_t value = 48) { bytes.fill(value); }

    int firmwareVersion() const { return bytes[0]; }
    int model() const { return bytes[1]; }
    int firmwareRelease() const { return bytes[2]; }

    // Decimal of byte 0, ".", decimal of byte 2 (for example "1.13").
    QString firmwareVersionText() const;
    // The letter shown after the release number, or empty when byte 3 - 1 is not above 0.
    QString releaseLetter() const;
    // Decimal of byte 5 followed by decimal of byte 6, compared as text.
    QString signature() const;
    bool isLiveUnit() const { return signature() == QLatin1String("56"); }
    bool isFromFile() const { return signature() == QLatin1String("44"); }

    // Type texts: the start-up search knows three; Connect knows five. Other models: empty.
    static QString searchTypeText(int model);
    static QString connectTypeText(int model);
};

// The software's own firmware version, which the unit's must equal.
inline constexpr double kSoftwareFirmwareVersion = 1.13;
