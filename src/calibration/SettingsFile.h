#pragma once

#include "link/EmuIdentity.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// The .EMU settings file: seven CRLF lines ("#EMU Version", version line, "#VehicleInfo",
// "make~model~engine~", "#Table", 482 decimal wire values each followed by "," then ";", "#EOF").
struct VehicleInfo {
    QString make;
    QString model;
    QString engine;
};

struct SettingsFileContents {
    EmuIdentity identity;                     // bytes 5 and 6 are 4 and 4 ("44", from a file)
    VehicleInfo vehicle;
    std::array<std::uint8_t, 482> image{};    // wire form, positions 0..481
};

namespace SettingsFile {

inline const QString kRejectedText = QStringLiteral("Incorrect .EMU file version");
constexpr int kVehicleFieldMaxLength = 18;

// True when a vehicle text can be written and read back unchanged (no "~", no line break).
bool isValidVehicleText(const QString& text);

// The seven lines. imageWire holds the wire bytes of positions 0..480; position 481 is written
// as 0. Every position is written (a stored 255, wire 0, does not cut the table).
QByteArray write(const EmuIdentity& identity, const VehicleInfo& vehicle, const std::uint8_t* imageWire,
                 int count = 481);

// Reads a file's text. Returns nothing when it must be refused with "Incorrect .EMU file version"
// (a bad or missing table, a missing or non-numeric version section).
std::optional<SettingsFileContents> read(const QByteArray& text);

// Whole-file helpers: the save is atomic (QSaveFile); on failure errorText says why.
bool saveToFile(const QString& path, const QByteArray& contents, QString* errorText);
std::optional<QByteArray> loadFromFile(const QString& path, QString* errorText);

} // namespace SettingsFile
