#include "link/TQCCom32.h"

#include "link/PortNaming.h"

#include <QCoreApplication>
#include <QFile>

#include <linux/serial.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

qint64 nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

// A write that makes no progress for this long is given up: the far end is not taking bytes.
constexpr qint64 kWriteStallMs = 2000;

// Longest wait for input inside a terminated read before the queue, the deadline and the event
// loop are looked at again. Waiting in poll() wakes as soon as a byte arrives, so it costs no
// latency, but it keeps the "busy" poll from burning a whole core.
constexpr int kPollSliceMs = 1;

// Errors after which the device is gone (adapter unplugged, far end of a pty closed).
bool deviceGone(int errorNumber) {
    return errorNumber == EIO || errorNumber == ENXIO || errorNumber == ENODEV;
}

speed_t speedFor(int baud) {
    struct Rate {
        int baud;
        speed_t speed;
    };
    static constexpr Rate kRates[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const Rate& rate : kRates) {
        if (rate.baud == baud) {
            return rate.speed;
        }
    }
    return B0;
}

bool parseDecimal(const QString& text, int& value) {
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    bool ok = false;
    value = text.toInt(&ok);
    return ok;
}

// Literal characters, then decimal character codes each introduced by '#'. Anything that does
// not parse is used as the literal text.
QByteArray parseTerminator(const QString& text) {
    QByteArray terminator;
    QString number;
    bool escape = false;
    const QByteArray raw = text.toLatin1();
    for (const QChar c : text) {
        if (c == QLatin1Char('#')) {
            if (escape) {
                int value = 0;
                if (!parseDecimal(number, value)) {
                    return raw;
                }
                terminator.append(char(value & 0xFF));
                number.clear();
            }
            escape = true;
        } else if (escape) {
            number.append(c);
        } else {
            terminator.append(c.toLatin1());
        }
    }
    if (!number.isEmpty()) {
        int value = 0;
        if (!parseDecimal(number, value)) {
            return raw;
        }
        terminator.append(char(value & 0xFF));
    }
    return terminator;
}

} // namespace

TQCCom32::TQCCom32() = default;

TQCCom32::~TQCCom32() {
    Close();
}

void TQCCom32::setBaud(int v) {
    if (v == baud_) {
        return;
    }
    baud_ = v;
    reopenIfOpen();
}

void TQCCom32::setEndOfResponse(const QString& v) {
    endOfResponse_ = v;
    terminator_ = parseTerminator(v);
}

void TQCCom32::setHandshaking(THandshake v) {
    if (v == handshaking_) {
        return;
    }
    handshaking_ = v;
    reopenIfOpen();
}

void TQCCom32::setPort(int n) {
    if (n == port_) {
        return;
    }
    port_ = n;
    reopenIfOpen();
}

QString TQCCom32::DevicePath() const {
    return devicePathOverride_.isEmpty() ? PortNaming::devicePath(port_) : devicePathOverride_;
}

void TQCCom32::setDevicePath(const QString& path) {
    if (path == devicePathOverride_) {
        return;
    }
    devicePathOverride_ = path;
    reopenIfOpen();
}

TQCCom32::OpenError TQCCom32::openErrorFor(int errorNumber) {
    switch (errorNumber) {
    case 0:
        return OpenError::None;
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTDIR:
    case EIO: // a /dev/ttyS* node with no UART behind it
        return OpenError::NoDevice;
    case EACCES:
    case EPERM:
        return OpenError::PermissionDenied;
    case EBUSY:
    case EWOULDBLOCK:
        return OpenError::Busy;
    default:
        return OpenError::Other;
    }
}

bool TQCCom32::Open() {
    if (fd_ >= 0) {
        Close();
    }
    while (!openDevice()) {
        if (!showErrors_) {
            return false;
        }
        const DialogChoice choice = errorDialog
                                        ? errorDialog(QStringLiteral("Error opening COM%1: ").arg(port_))
                                        : DialogChoice::Abort;
        if (choice != DialogChoice::Retry) {
            return false;
        }
    }
    configure();
    return fd_ >= 0;
}

bool TQCCom32::openDevice() {
    const QString path = DevicePath();
    lastOpenDevice_ = path;
    if (path.isEmpty()) {
        lastOpenError_ = OpenError::NoDevice;
        return false;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastOpenError_ = openErrorFor(errno);
        return false;
    }
    // TIOCEXCL refuses further opens by other users, but root passes it; flock keeps root out too.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        lastOpenError_ = error == EWOULDBLOCK ? OpenError::Busy : openErrorFor(error);
        ::close(fd);
        return false;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        lastOpenError_ = error == ENOTTY ? OpenError::Other : OpenError::Busy;
        ::close(fd);
        return false;
    }
    // The descriptor stays non-blocking: every read asks for what is queued and takes only that.
    fd_ = fd;
    lastOpenError_ = OpenError::None;
    return true;
}

void TQCCom32::configure() {
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        return;
    }
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS | CSIZE);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    if (handshaking_ == hsHardware) {
        tio.c_cflag |= CRTSCTS;
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    // A rate without a standard constant keeps the driver's current speed.
    if (const speed_t speed = speedFor(baud_); speed != B0) {
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
    }
    ::tcsetattr(fd_, TCSANOW, &tio);

    // DTR is not used by the unit; RTS only as flow control with hardware handshaking, where the
    // driver raises and drops it itself. Not every device has modem lines (a pty has none).
    int lines = handshaking_ == hsHardware ? TIOCM_DTR : TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd_, TIOCMBIC, &lines);

    // FTDI adapters otherwise hold a short reply for up to 16 ms. Not supported on ptys.
    serial_struct serial{};
    if (::ioctl(fd_, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd_, TIOCSSERIAL, &serial);
    }
}

void TQCCom32::Close() {
    if (fd_ < 0) {
        return;
    }
    // TIOCEXCL outlives our descriptor while anyone else holds the tty open; clear it.
    ::ioctl(fd_, TIOCNXCL);
    dropHandle();
}

void TQCCom32::dropHandle() {
    if (fd_ >= 0) {
        ::close(fd_); // also releases the flock
    }
    fd_ = -1;
}

void TQCCom32::dropIfGone(int errorNumber) {
    if (deviceGone(errorNumber)) {
        dropHandle();
    }
}

bool TQCCom32::StillThere() {
    if (fd_ < 0) {
        return false;
    }
    pollfd pfd{fd_, 0, 0};
    if (::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        dropHandle();
        return false;
    }
    return true;
}

void TQCCom32::reopenIfOpen() {
    if (fd_ >= 0) {
        Close();
        Open();
    }
}

int TQCCom32::InCount() {
    if (fd_ < 0) {
        return 0;
    }
    int count = 0;
    if (::ioctl(fd_, FIONREAD, &count) != 0) {
        dropIfGone(errno);
        return 0;
    }
    return count;
}

void TQCCom32::Purge() {
    if (fd_ >= 0 && ::tcflush(fd_, TCIOFLUSH) != 0) {
        dropIfGone(errno);
    }
}

bool TQCCom32::Write(const QByteArray& data) {
    if (fd_ < 0 && !Open()) {
        return false;
    }
    qsizetype done = 0;
    qint64 lastProgress = nowMs();
    while (done < data.size()) {
        const ssize_t n = ::write(fd_, data.constData() + done, size_t(data.size() - done));
        if (n > 0) {
            done += n;
            lastProgress = nowMs();
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            dropIfGone(errno);
            return false;
        }
        if (nowMs() - lastProgress >= kWriteStallMs) {
            return false;
        }
        pollfd pfd{fd_, POLLOUT, 0};
        ::poll(&pfd, 1, 50);
    }
    return true;
}

bool TQCCom32::readAvailable(QByteArray& into) {
    const int count = InCount();
    if (count <= 0) {
        return false;
    }
    const qsizetype start = into.size();
    into.resize(start + count);
    const ssize_t n = ::read(fd_, into.data() + start, size_t(count));
    if (n < 0) {
        dropIfGone(errno);
    }
    into.resize(start + std::max<qsizetype>(n, 0));
    return n > 0;
}

void TQCCom32::waitForInput(int maxMs) {
    if (fd_ < 0 || maxMs <= 0) {
        return;
    }
    pollfd pfd{fd_, POLLIN, 0};
    ::poll(&pfd, 1, maxMs);
}

void TQCCom32::Read(QByteArray& result) {
    result.clear();
    if (inUse_) {
        if (showErrors_ && infoDialog) {
            infoDialog(QStringLiteral("Port is in use -- operation aborted"));
        }
        return;
    }
    if (fd_ < 0 && !Open()) {
        return;
    }
    inUse_ = true;
    if (terminator_.isEmpty()) {
        readAvailable(result);
    } else {
        terminatedRead(result);
    }
    inUse_ = false;
}

bool TQCCom32::terminatedRead(QByteArray& result) {
    qint64 deadline = nowMs() + responseTime_;
    timedOut_ = false;
    for (;;) {
        readAvailable(result);
        if (result.contains(terminator_)) {
            return true;
        }
        // The device vanished (or a handler closed the port): nothing more can arrive.
        if (fd_ < 0) {
            return false;
        }
        if (nowMs() > deadline) {
            timedOut_ = true;
            if (OnTimeout) {
                OnTimeout(this);
            }
            if (!showErrors_ || !errorDialog ||
                errorDialog(QStringLiteral("Timeout waiting for response.")) != DialogChoice::Retry) {
                return false;
            }
            timedOut_ = false;
            deadline = nowMs() + responseTime_;
            continue;
        }
        if (allowEvents_ && QCoreApplication::instance()) {
            QCoreApplication::processEvents();
        }
        waitForInput(kPollSliceMs);
    }
}
