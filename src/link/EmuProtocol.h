#pragma once

#include "link/EmuIdentity.h"
#include "link/ImageLayout.h"

#include <QByteArray>

#include <cstdint>

// Everything the program says to the unit and what comes back. No other file writes a literal
// command byte. The unit is host-driven and unframed: a command byte (and operands) in one write;
// only the three queries are answered, after fixed pauses. Replies carry value + 1 so that no
// byte is 0; operands sent by the host are plain and may be 0.
namespace EmuCommand {
constexpr std::uint8_t kIdentify = 0xFF;
constexpr std::uint8_t kReadImage = 0xFD;
constexpr std::uint8_t kRealTimeFrame = 0xFC;
constexpr std::uint8_t kWriteImage = 0xF3;
constexpr std::uint8_t kSetParameter = 0xF2;
constexpr std::uint8_t kMapPointE8 = 0xE8; // timing and vacuum timing
constexpr std::uint8_t kMapPointDE = 0xDE; // fuel vacuum and the Cruise RPM curve
constexpr std::uint8_t kMapPointD4 = 0xD4; // water, air fuel and voltage corrections
constexpr std::uint8_t kMapPointCA = 0xCA; // Low and High RPM curves, air timing correction
} // namespace EmuCommand

// Pauses between the end of a write and the read, in milliseconds.
namespace EmuPause {
constexpr int kIdentifySearch = 100;  // start-up port search
constexpr int kIdentifyRefresh = 200; // "Refresh Com Port"
constexpr int kIdentifyConnect = 300; // Connect and re-identification
constexpr int kReadImage = 500;
constexpr int kRealTimeFrame = 20;
constexpr int kWriteImageGap = 100; // between 0xF3 and the image
constexpr int kSaveFromEmu = 500;
} // namespace EmuPause

// Reply lengths (the image sizes are in ImageLayout.h).
namespace EmuLength {
constexpr int kIdentity = 7;
constexpr int kRealTimeFrame = 10;
} // namespace EmuLength

constexpr std::uint8_t kReplyFillByte = 48; // the character "0"

// Copies a reply into a fixed buffer: at most copyLength bytes, by the count received (a stored
// 255 arrives as 0 and must not cut the copy), then a 0 just after the last byte copied when the
// buffer has room for it. Bytes beyond copyLength are dropped. Returns the count copied.
int copyReply(const QByteArray& reply, std::uint8_t* buffer, int bufferSize, int copyLength);

// Extra wait for a reply that has started but is short at the end of its pause.
int extraWaitFor(std::uint8_t command);
