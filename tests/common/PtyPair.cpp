#include "PtyPair.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

PtyPair::PtyPair(Mode mode) : mode_(mode) {
    openPair();
}

PtyPair::~PtyPair() {
    unplug();
    if (!linkPath_.isEmpty()) {
        QFile::remove(linkPath_);
    }
}

bool PtyPair::openPair() {
    masterFd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (masterFd_ < 0) {
        return false;
    }
    char name[128] = {};
    if (::grantpt(masterFd_) != 0 || ::unlockpt(masterFd_) != 0 ||
        ::ptsname_r(masterFd_, name, sizeof name) != 0) {
        unplug();
        return false;
    }
    slavePath_ = QString::fromLocal8Bit(name);
    slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slaveFd_ < 0) {
        unplug();
        return false;
    }
    if (mode_ == Mode::Raw) {
        termios tio{};
        ::tcgetattr(slaveFd_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slaveFd_, TCSANOW, &tio);
    }
    return true;
}

bool PtyPair::send(const QByteArray& bytes, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    qsizetype done = 0;
    while (done < bytes.size() && masterFd_ >= 0) {
        const ssize_t n = ::write(masterFd_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        pollfd pfd{masterFd_, POLLOUT, 0};
        ::poll(&pfd, 1, 10);
    }
    return done == bytes.size();
}

QByteArray PtyPair::receive(int count, int timeoutMs) {
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < count && masterFd_ >= 0) {
        char buffer[4096];
        const ssize_t n =
            ::read(masterFd_, buffer, std::min<size_t>(sizeof buffer, size_t(count - got.size())));
        if (n > 0) {
            got.append(buffer, n);
            continue;
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0) {
            break;
        }
        pollfd pfd{masterFd_, POLLIN, 0};
        ::poll(&pfd, 1, int(std::min<qint64>(left, 50)));
    }
    return got;
}

QByteArray PtyPair::drain(int waitMs) {
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (masterFd_ >= 0) {
        char buffer[4096];
        const ssize_t n = ::read(masterFd_, buffer, sizeof buffer);
        if (n > 0) {
            got.append(buffer, n);
            continue;
        }
        const qint64 left = waitMs - clock.elapsed();
        if (left <= 0) {
            break;
        }
        pollfd pfd{masterFd_, POLLIN, 0};
        ::poll(&pfd, 1, int(left));
    }
    return got;
}

int PtyPair::pendingOnDevice() const {
    int count = 0;
    if (slaveFd_ < 0 || ::ioctl(slaveFd_, FIONREAD, &count) != 0) {
        return 0;
    }
    return count;
}

std::optional<termios> PtyPair::deviceSettings() const {
    termios tio{};
    if (slaveFd_ < 0 || ::tcgetattr(slaveFd_, &tio) != 0) {
        return std::nullopt;
    }
    return tio;
}

QString PtyPair::makeLink(const QString& path) {
    QString target = path;
    if (target.isEmpty()) {
        if (!linkDir_) {
            linkDir_ = std::make_unique<QTemporaryDir>();
        }
        if (!linkDir_->isValid()) {
            return {};
        }
        target = linkDir_->filePath(QStringLiteral("ttyEMU"));
    }
    // Build beside and rename over, so the name never points nowhere while being repointed.
    const QByteArray finalName = QFile::encodeName(target);
    const QByteArray tempName = finalName + ".new";
    ::unlink(tempName.constData());
    if (::symlink(QFile::encodeName(slavePath_).constData(), tempName.constData()) != 0 ||
        ::rename(tempName.constData(), finalName.constData()) != 0) {
        ::unlink(tempName.constData());
        return {};
    }
    linkPath_ = target;
    return target;
}

void PtyPair::unplug() {
    if (masterFd_ >= 0) {
        ::close(masterFd_);
    }
    if (slaveFd_ >= 0) {
        ::close(slaveFd_);
    }
    masterFd_ = -1;
    slaveFd_ = -1;
}

bool PtyPair::replug() {
    unplug();
    if (!openPair()) {
        return false;
    }
    return linkPath_.isEmpty() || !makeLink(linkPath_).isEmpty();
}

ScopedEmuPorts::ScopedEmuPorts(const QStringList& paths)
    : wasSet_(qEnvironmentVariableIsSet("EMU_PORTS")), previous_(qgetenv("EMU_PORTS")) {
    qputenv("EMU_PORTS", QFile::encodeName(paths.join(QLatin1Char(':'))));
}

ScopedEmuPorts::~ScopedEmuPorts() {
    if (wasSet_) {
        qputenv("EMU_PORTS", previous_);
    } else {
        qunsetenv("EMU_PORTS");
    }
}
