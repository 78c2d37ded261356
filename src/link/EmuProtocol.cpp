#include "link/EmuProtocol.h"

#include "link/TQCCom32.h"

#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

qint64 nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Time for n bytes at 19200 baud 8N1 (10 bits a byte), rounded up.
int wireTimeMs(int bytes) {
    return (bytes * 10 * 1000 + 19199) / 19200;
}

} // namespace

int copyReply(const QByteArray& reply, std::uint8_t* buffer, int bufferSize, int copyLength) {
    const int n = std::min({static_cast<int>(reply.size()), copyLength, bufferSize});
    if (n > 0)
        std::memcpy(buffer, reply.constData(), static_cast<size_t>(n));
    if (n < bufferSize)
        buffer[n] = 0;
    return n;
}

EmuProtocol::EmuProtocol(TQCCom32& port) : port_(port), sleep_([](int ms) { QThread::msleep(ms); }) {
}

int EmuProtocol::extraWaitFor(std::uint8_t command) {
    switch (command) {
    case EmuCommand::kRealTimeFrame:
        return 20;
    case EmuCommand::kIdentify:
        return 30;
    case EmuCommand::kReadImage:
        // A reply that started late still needs its full time on the wire.
        return wireTimeMs(EmuLength::kImageReply) + 50;
    default:
        return 20;
    }
}

void EmuProtocol::discardWaiting() {
    // A late tail of an earlier reply must not be read as the start of the next one.
    if (port_.Opened() && port_.InCount() > 0) {
        QByteArray stale;
        port_.Read(stale);
    }
}

QByteArray EmuProtocol::query(std::uint8_t command, int pauseMs, int replyLength, int extraWaitMs) {
    discardWaiting();
    QByteArray reply;
    if (!port_.Write(QByteArray(1, static_cast<char>(command))))
        return reply;
    sleep_(pauseMs);
    port_.Read(reply);
    if (reply.size() > replyLength) {
        // An earlier reply that came after the purge is mixed with this one; which bytes belong
        // to which cannot be told, so neither is taken.
        return {};
    }
    if (reply.isEmpty() || reply.size() == replyLength)
        return reply;

    // Started but short: keep reading until complete or the bounded extra wait has passed.
    const qint64 deadline = nowMs() + extraWaitMs;
    while (reply.size() < replyLength && nowMs() < deadline) {
        QThread::usleep(500);
        QByteArray more;
        port_.Read(more);
        if (!port_.Opened())
            break;
        reply += more;
    }
    if (reply.size() > replyLength)
        return {};
    return reply;
}

QByteArray EmuProtocol::identify(int pauseMs) {
    return query(EmuCommand::kIdentify, pauseMs, EmuLength::kIdentity, extraWaitFor(EmuCommand::kIdentify));
}

QByteArray EmuProtocol::readImage(int pauseMs) {
    return query(EmuCommand::kReadImage, pauseMs, EmuLength::kImageReply,
                 extraWaitFor(EmuCommand::kReadImage));
}

QByteArray EmuProtocol::realTimeFrame() {
    return query(EmuCommand::kRealTimeFrame, EmuPause::kRealTimeFrame, EmuLength::kRealTimeFrame,
                 extraWaitFor(EmuCommand::kRealTimeFrame));
}

bool EmuProtocol::writeImage(const QByteArray& plainImage) {
    const bool commandSent = port_.Write(QByteArray(1, static_cast<char>(EmuCommand::kWriteImage)));
    sleep_(EmuPause::kWriteImageGap);
    if (!commandSent)
        return false;
    return port_.Write(plainImage);
}

bool EmuProtocol::sendSet(std::uint8_t command, std::uint8_t id, std::uint8_t value) {
    const char bytes[3] = {static_cast<char>(command), static_cast<char>(id), static_cast<char>(value)};
    return port_.Write(QByteArray(bytes, 3));
}
