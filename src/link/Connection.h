#pragma once

#include "link/EmuIdentity.h"
#include "link/TQCCom32.h"

#include <QString>

#include <cstdint>
#include <optional>

// The rules of finding, identifying and connecting a unit that do not need a window: the texts the
// status bar shows, the port number in the selector's text, the firmware version check and the
// unit's description.
namespace Connection {

// Status panel 0.
inline const QString kSearching = QStringLiteral("Searching ComPorts...");
inline const QString kNoEmuPresent = QStringLiteral("No EMU present");
inline const QString kEmuConnected = QStringLiteral("EMU Connected");
inline const QString kEmuNotConnected = QStringLiteral("EMU not connected");
inline const QString kFileOpened = QStringLiteral("EMU file opened successfully");
inline const QString kReadingSetup = QStringLiteral("Reading EMU Setup Data...");
inline const QString kReady = QStringLiteral("Ready");
inline const QString kTableWritten = QStringLiteral("Data table written to EMU");
inline const QString kWriteFailed = QStringLiteral("Write to EMU failed");

// A unit whose identity came incomplete at Connect.
QString cutIdentityText(int received);

// The toolkit's conversion error, shared by every box that wants an integer.
QString conversionErrorText(const QString& text);

// The port number of a selector text ("Com7" -> 7, "Com12" -> 12): the 4th character, and the 5th
// with it when present, read as decimal digits. Otherwise nothing, with the conversion error text.
std::optional<int> parsePortNumber(const QString& selectorText, QString* errorText = nullptr);

// A firmware version text ("1.13") as a number, "." being the separator whatever the locale.
std::optional<double> parseFirmwareVersion(const QString& text);

// How this software's version stands to the unit's: negative when the software is lower, 0 when
// equal, positive when higher. An unreadable version counts as lower than the software.
int compareSoftwareVersion(const QString& firmwareVersionText);

// The version notice for a unit whose firmware differs; the long form when the software is higher.
QString versionNoticeText(const QString& firmwareVersionText, bool softwareHigher);

// "AB-010203-04" from setup offsets 94..99 (wire form).
QString serialNumberText(const std::uint8_t* setupBlock);

// "EMU <model> v<version>.<release>", with " :: <serial>" when a serial number is given.
QString unitDescription(const EmuIdentity& identity, const QString& serial = {});

// Status texts of the port search (type text, may be empty) and of the port refresh.
QString searchFoundText(const QString& typeText, int port);
QString refreshFoundText(const EmuIdentity& identity, int port);

// Why a port did not open, as a clause ("it is in use by another program"), and what to do about it;
// the window and emu-cli both word their messages from these.
QString portProblemReason(TQCCom32::OpenError error);
QString portProblemAdvice(TQCCom32::OpenError error);

// The window's message for a port that exists but cannot be used, or empty when the error is not
// one of those (no device, or some other failure).
QString portProblemText(TQCCom32::OpenError error, int port, const QString& device);

} // namespace Connection
