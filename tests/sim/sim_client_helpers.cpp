#include "sim_client_helpers.h"

#include <QFile>

#include <cerrno>
#include <chrono>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

std::int64_t steadyNowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

PtyClient::PtyClient(const QString& path) {
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0)
        return;
    termios tio{};
    if (::tcgetattr(fd_, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B19200);
        ::cfsetospeed(&tio, B19200);
        ::tcsetattr(fd_, TCSANOW, &tio);
    }
}

PtyClient::~PtyClient() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool PtyClient::send(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QByteArray PtyClient::read(int count, int timeoutMs, std::int64_t* firstUs, std::int64_t* lastUs) {
    QByteArray got;
    const std::int64_t end = steadyNowUs() + std::int64_t(timeoutMs) * 1000;
    while (got.size() < count) {
        const std::int64_t left = end - steadyNowUs();
        if (left <= 0)
            break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>((left + 999) / 1000)) <= 0)
            continue;
        char buf[1024];
        const ssize_t n =
            ::read(fd_, buf, std::min<size_t>(sizeof buf, static_cast<size_t>(count - got.size())));
        if (n <= 0)
            break;
        const std::int64_t at = steadyNowUs();
        if (got.isEmpty() && firstUs)
            *firstUs = at;
        if (lastUs)
            *lastUs = at;
        got.append(buf, n);
    }
    return got;
}

QByteArray PtyClient::readFor(int ms) {
    QByteArray got;
    const std::int64_t end = steadyNowUs() + std::int64_t(ms) * 1000;
    for (;;) {
        const std::int64_t left = end - steadyNowUs();
        if (left <= 0)
            return got;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>((left + 999) / 1000)) <= 0)
            continue;
        char buf[1024];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0)
            return got;
        got.append(buf, n);
    }
}

bool PtyClient::waitForHangUp(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return false;
    char c = 0;
    const ssize_t n = ::read(fd_, &c, 1);
    return n == 0 || (n < 0 && errno == EIO);
}
