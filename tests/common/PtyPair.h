#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <termios.h>

class QTemporaryDir;

// A real pseudo-terminal for tests. The slave side is the "serial device" the program opens
// (by its path, or better by a symlink named in EMU_PORTS); the master side plays the far end.
//
// The helper keeps one descriptor of its own on the slave, never read from, so that the tty and
// its settings live on while the program opens and closes it. Raw mode (the default) switches off
// echo and every character translation before anyone opens the device.
//
//     PtyPair pty;                       // QVERIFY(pty.isValid())
//     ScopedEmuPorts ports({pty.makeLink()});   // Com1 is this pty
//     pty.send("OK\r\n");                // bytes towards the program
//     pty.receive(3);                    // bytes the program wrote, waiting up to 5 s
//     pty.unplug();  pty.replug();       // device vanishes; a new one behind the same link
class PtyPair {
  public:
    enum class Mode { Raw, Cooked };

    explicit PtyPair(Mode mode = Mode::Raw);
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // Both ends open.
    bool isValid() const { return masterFd_ >= 0 && slaveFd_ >= 0; }
    // The slave device, e.g. /dev/pts/3 (changes on replug()).
    QString slavePath() const { return slavePath_; }
    // The far end, non-blocking; -1 after unplug().
    int masterFd() const { return masterFd_; }
    // The helper's own slave descriptor (for tcgetattr, fchmod, FIONREAD); -1 after unplug().
    int slaveFd() const { return slaveFd_; }

    // Far end writes: all bytes, waiting up to timeoutMs while the pty is full.
    bool send(const QByteArray& bytes, int timeoutMs = 5000);
    // Far end reads: waits until count bytes have come or timeoutMs has passed; returns what came.
    QByteArray receive(int count, int timeoutMs = 5000);
    // Everything that comes within waitMs (use to check that nothing more was sent).
    QByteArray drain(int waitMs);
    // Bytes sent to the device side and not yet read by the program.
    int pendingOnDevice() const;
    // The slave's current line settings, or nothing after unplug().
    std::optional<termios> deviceSettings() const;

    // A symlink to the slave. With an empty path it is made in a temporary folder the helper
    // owns. Returns the link's path, or an empty string on failure. Replaces an existing link.
    QString makeLink(const QString& path = {});
    QString linkPath() const { return linkPath_; }

    // Closes the far end (and the helper's slave descriptor): to the program this is a USB
    // adapter pulled out. The slave node disappears; the link is left dangling.
    void unplug();
    // A fresh pair in the same mode, the link (if any) repointed to its slave. True on success.
    bool replug();

  private:
    bool openPair();

    Mode mode_;
    int masterFd_ = -1;
    int slaveFd_ = -1;
    QString slavePath_;
    QString linkPath_;
    std::unique_ptr<QTemporaryDir> linkDir_;
};

// Sets EMU_PORTS (joined with ':') for a scope and restores the previous state afterwards.
class ScopedEmuPorts {
  public:
    explicit ScopedEmuPorts(const QStringList& paths);
    ~ScopedEmuPorts();
    ScopedEmuPorts(const ScopedEmuPorts&) = delete;
    ScopedEmuPorts& operator=(const ScopedEmuPorts&) = delete;

  private:
    bool wasSet_;
    QByteArray previous_;
};
