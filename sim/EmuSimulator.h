#pragma once

#include "link/ImageLayout.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

// A simulated unit on a pseudo-terminal: the peer for the tests, the benchmarks and the demo.
// It answers the identify, read-image and real-time queries at 19200-baud pace, applies image
// writes, parameter sets and map-point writes to its own image, and records every command it
// parsed. Faults can be switched on to exercise the program's handling of a bad link.
struct SimConfig {
    int type = 3;                                    // EMU model: 1, 2, 3, 5 or 6 (any byte is accepted)
    int firmwareVersion = 1;                         // identity byte 0
    int firmwareRelease = 13;                        // identity byte 2
    QChar releaseLetter;                             // empty: none; 'A' gives identity byte 3 = 2
    QString serial = QStringLiteral("AB-010203-04"); // letters, three numbers, hardware number
    std::optional<std::array<std::uint8_t, kImageReplySize>>
        image;               // wire form; empty: the built-in base tune
    bool usbLatency = false; // hold short replies like an FTDI adapter's 16 ms latency timer
    QString linkPath;        // when set, a symlink at this path points to the pty (survives replug)
    std::uint32_t seed = 1;  // engine model randomness
    // The road cycle: an engine whose lambda reading answers the unit's fuel points (see
    // SimEngineModel); off: the short throttle blips whose lambda ignores the tune.
    bool mixtureFollowsTune = false;
};

struct SimCommand {
    qint64 receivedUs = 0;  // steady-clock microseconds when the command byte was parsed
    qint64 replyDoneUs = 0; // when the last reply byte was handed to the pty (0: no reply)
    QByteArray bytes;       // the command byte and its operands (for 0xF3: 0xF3 then the 482 bytes)
    QByteArray reply;       // the bytes sent back (after faults were applied)
};

class EmuSimulator {
  public:
    explicit EmuSimulator(SimConfig config = {});
    ~EmuSimulator();
    EmuSimulator(const EmuSimulator&) = delete;
    EmuSimulator& operator=(const EmuSimulator&) = delete;

    bool start(); // opens the pty and starts answering on a thread of its own
    void stop();
    bool running() const;

    // The device a client opens: linkPath when set, otherwise the pty's /dev/pts/N.
    QString devicePath() const;
    QString ptyPath() const;

    // Every command parsed so far, and all bytes received, in order.
    QList<SimCommand> commands() const;
    QByteArray receivedBytes() const;
    void clearRecord();
    // Waits until at least count commands have been recorded (false on timeout).
    bool waitForCommands(int count, int timeoutMs) const;

    // The unit's image in wire form (481 bytes from the unit's view; 482 with the last written trailer,
    // 0 until an image write brings one).
    std::array<std::uint8_t, kImageSize> image() const;
    void setImage(const std::array<std::uint8_t, kImageReplySize>& wire);
    QByteArray identityReply() const;

    // Faults.
    void setSilent(bool silent);        // answer nothing
    void setShortReplies(int maxBytes); // cut every reply to maxBytes (-1: off)
    // Cut the read-image replies to maxBytes (-1: off), after skipWhole whole ones.
    void setShortImageReplies(int maxBytes, int skipWhole = 0);
    // Take 0xF3 and its image but keep the image as it was (a unit that drops the write).
    void setIgnoreImageWrites(bool ignore);
    // Send the last tailBytes of each reply delayMs late (0: off).
    void setLateTail(int tailBytes, int delayMs);
    void setUsbLatency(bool on);
    void unplug(); // the pty disappears, like a USB adapter pulled out
    bool replug(); // a new pty appears (behind linkPath when set)

    // Live frames: the engine model by default; a fixed 10-byte frame (wire form) when set.
    void setFixedFrame(std::optional<QByteArray> frame);
    QByteArray lastFrame() const;

    // The built-in base tune for a type, in wire form.
    static std::array<std::uint8_t, kImageReplySize> baseTune(int type, const QString& serial);

  private:
    bool openAndAnswer(); // a new pty and the thread that answers on it
    struct Impl;
    std::unique_ptr<Impl> d;
};
