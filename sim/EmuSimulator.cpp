#include "EmuSimulator.h"

#include <QThread>

#include <QDeadlineTimer>

#include <QCoreApplication>

#include "SimBaseTune.h"
#include "SimCommandParser.h"
#include "SimEngineModel.h"
#include "SimReplyPacer.h"

#include "calibration/MapTable.h"
#include "link/EmuProtocol.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t nowUs() {
    return nowNs() / 1000;
}

constexpr int kReadChunk = 4096;
constexpr std::int64_t kRetryWriteNs = 1'000'000; // a full pty buffer is retried this often

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

struct EmuSimulator::Impl {
    explicit Impl(SimConfig c) : config(std::move(c)), engine(config.seed) {
        const auto tune = config.image ? *config.image : EmuSimulator::baseTune(config.type, config.serial);
        std::copy(tune.begin(), tune.end(), image.begin());
        usbLatency = config.usbLatency;
    }

    // Shared with the callers' threads, under mutex.
    SimConfig config;
    mutable std::mutex mutex;
    mutable std::condition_variable recorded;
    std::array<std::uint8_t, kImageSize> image{}; // offset 481 stays 0 until an image write brings a trailer
    QList<SimCommand> records;
    std::uint64_t recordBase = 0; // tag of records[0]; records cleared before it are gone
    QByteArray received;
    bool silent = false;
    int shortMax = -1;
    int imageShortMax = -1; // cut 0xFD replies to this many bytes (-1: off) ...
    int imageShortSkip = 0; // ... after this many whole ones
    bool ignoreImageWrites = false;
    int tailBytes = 0;
    int tailDelayMs = 0;
    bool usbLatency = false;
    std::optional<QByteArray> fixedFrame;
    QByteArray lastFrame;
    SimEngineModel engine;
    std::int64_t startNs = 0;
    // The road cycle's view of the image, decoded again whenever the image has changed.
    std::array<std::uint8_t, kImageSize> tuneImage{};
    std::optional<SimMixture::UnitTune> tune;

    // The pty and the thread that serves it (changed only while that thread is not running).
    int masterFd = -1;
    int slaveFd = -1; // kept open so the master never sees a hang-up when a client closes
    std::atomic<int> wakeFd{-1};
    QString ptyPath; // under mutex
    bool linkMade = false;
    std::thread loop;
    std::atomic<bool> stopping{false};

    // Owned by the loop thread.
    SimCommandParser parser;
    SimReplyPacer pacer;
    QByteArray outgoing; // released by the pacer, not yet taken by the pty
    std::vector<std::pair<qsizetype, std::uint64_t>> outgoingEnds; // reply tag ends at this many bytes

    bool openPty();
    void closePty();
    bool startLoop();
    void stopLoop();
    void wake() const;
    void run();
    void readMaster();
    void handle(const SimCommandParser::Command& cmd);
    QByteArray applyAndAnswer(const QByteArray& bytes, bool complete);
    void applyMapPoint(std::uint8_t command, int id, std::uint8_t value);
    QByteArray identity() const;
    QByteArray frame();
    void pump();
    void markReplyDone(std::uint64_t tag, std::int64_t atUs);
    bool publishLink();
    void removeLink();
};

bool EmuSimulator::Impl::openPty() {
    const int m = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0)
        return false;
    char name[128] = {};
    if (::grantpt(m) != 0 || ::unlockpt(m) != 0 || ::ptsname_r(m, name, sizeof name) != 0) {
        ::close(m);
        return false;
    }
    const int s = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s < 0) {
        ::close(m);
        return false;
    }
    // Raw from the start: an echo would send the host's own commands back as replies.
    termios tio{};
    if (::tcgetattr(s, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B19200);
        ::cfsetospeed(&tio, B19200);
        ::tcsetattr(s, TCSANOW, &tio);
    }
    ::fcntl(m, F_SETFL, ::fcntl(m, F_GETFL) | O_NONBLOCK);
    masterFd = m;
    slaveFd = s;
    {
        std::lock_guard lock(mutex);
        ptyPath = QString::fromLocal8Bit(name);
    }
    if (!publishLink()) {
        closePty();
        return false;
    }
    return true;
}

void EmuSimulator::Impl::closePty() {
    closeFd(masterFd);
    closeFd(slaveFd);
    removeLink();
}

// Replaced in one step (symlink beside it, then rename), so a client never finds no link at all.
bool EmuSimulator::Impl::publishLink() {
    if (config.linkPath.isEmpty())
        return true;
    const QByteArray link = QFile::encodeName(config.linkPath);
    const QByteArray temp = link + ".new" + QByteArray::number(::getpid());
    ::unlink(temp.constData());
    if (::symlink(QFile::encodeName(ptyPath).constData(), temp.constData()) != 0)
        return false;
    if (::rename(temp.constData(), link.constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    linkMade = true;
    return true;
}

void EmuSimulator::Impl::removeLink() {
    if (linkMade)
        ::unlink(QFile::encodeName(config.linkPath).constData());
    linkMade = false;
}

bool EmuSimulator::Impl::startLoop() {
    wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0)
        return false;
    stopping = false;
    parser.reset();
    pacer.clear();
    outgoing.clear();
    outgoingEnds.clear();
    loop = std::thread([this] { run(); });
    return true;
}

void EmuSimulator::Impl::stopLoop() {
    if (!loop.joinable())
        return;
    stopping = true;
    wake();
    loop.join();
    ::close(wakeFd.exchange(-1));
}

void EmuSimulator::Impl::wake() const {
    const int fd = wakeFd;
    if (fd < 0)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(fd, &one, sizeof one);
}

void EmuSimulator::Impl::run() {
    while (!stopping) {
        {
            std::lock_guard lock(mutex);
            pacer.setUsbLatency(usbLatency);
        }
        if (auto given = parser.expire(nowUs()))
            handle(*given);
        pump();

        std::int64_t due = pacer.nextDueNs();
        const std::int64_t parserDue = parser.deadlineUs();
        if (parserDue >= 0)
            due = due < 0 ? parserDue * 1000 : std::min(due, parserDue * 1000);
        if (!outgoing.isEmpty()) {
            const std::int64_t retry = nowNs() + kRetryWriteNs;
            due = due < 0 ? retry : std::min(due, retry);
        }
        timespec timeout{};
        if (due >= 0) {
            const std::int64_t wait = std::max<std::int64_t>(0, due - nowNs());
            timeout.tv_sec = wait / 1'000'000'000;
            timeout.tv_nsec = wait % 1'000'000'000;
        }
        pollfd fds[2] = {{masterFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int ready = ::ppoll(fds, 2, due >= 0 ? &timeout : nullptr, nullptr);
        if (ready <= 0)
            continue;
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto n = ::read(wakeFd, &count, sizeof count);
        }
        if (fds[0].revents & POLLIN)
            readMaster();
        else if (fds[0].revents & (POLLHUP | POLLERR))
            std::this_thread::sleep_for(std::chrono::milliseconds(5)); // never spin on a dead master
    }
}

void EmuSimulator::Impl::readMaster() {
    char buf[kReadChunk];
    const ssize_t n = ::read(masterFd, buf, sizeof buf);
    if (n <= 0) {
        if (n == 0 || (errno != EAGAIN && errno != EINTR))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return;
    }
    const std::int64_t at = nowUs();
    {
        std::lock_guard lock(mutex);
        received.append(buf, n);
    }
    for (ssize_t i = 0; i < n; ++i) {
        if (auto cmd = parser.feed(static_cast<std::uint8_t>(buf[i]), at))
            handle(*cmd);
    }
}

void EmuSimulator::Impl::handle(const SimCommandParser::Command& cmd) {
    std::unique_lock lock(mutex);
    QByteArray reply = applyAndAnswer(cmd.bytes, cmd.complete);
    if (silent)
        reply.clear();
    if (shortMax >= 0)
        reply.truncate(shortMax);
    if (static_cast<std::uint8_t>(cmd.bytes[0]) == EmuCommand::kReadImage && imageShortMax >= 0) {
        if (imageShortSkip > 0)
            --imageShortSkip;
        else
            reply.truncate(imageShortMax);
    }
    SimCommand record;
    record.receivedUs = cmd.receivedUs;
    record.bytes = cmd.bytes;
    record.reply = reply;
    const std::uint64_t tag = recordBase + static_cast<std::uint64_t>(records.size());
    records.append(record);
    const int tail = tailBytes;
    const std::int64_t tailDelayNs = static_cast<std::int64_t>(tailDelayMs) * 1'000'000;
    lock.unlock();
    recorded.notify_all();
    pacer.enqueue(reply, nowNs(), tag, tail, tailDelayNs);
}

// Applies a command to the image and returns the unit's reply (before faults). Called under mutex.
QByteArray EmuSimulator::Impl::applyAndAnswer(const QByteArray& bytes, bool complete) {
    using namespace EmuCommand;
    const auto command = static_cast<std::uint8_t>(bytes[0]);
    if (!complete)
        return {}; // a write that stopped short changes nothing
    const auto operand = [&](int i) { return static_cast<std::uint8_t>(bytes[i]); };
    switch (command) {
    case kIdentify:
        return identity();
    case kReadImage:
        return QByteArray(reinterpret_cast<const char*>(image.data()), kImageReplySize);
    case kRealTimeFrame:
        return frame();
    case kWriteImage:
        if (ignoreImageWrites)
            return {};
        for (int k = 0; k < kImageSize; ++k)
            image[k] = wireFromPlain(operand(1 + k));
        return {};
    case kSetParameter:
        if (operand(1) < kSetupBlockSize)
            image[operand(1)] = wireFromPlain(operand(2));
        return {};
    case kMapPointE8:
    case kMapPointDE:
    case kMapPointD4:
    case kMapPointCA:
        applyMapPoint(command, operand(1), operand(2));
        return {};
    default:
        return {};
    }
}

// Timing point 100 and vacuum point 1 share id 100 of their group. The unit takes it as the vacuum
// point: the timing chart reaches point 100 only with a 10000 RPM range, the vacuum map always has
// its first point. Hence the later region wins.
void EmuSimulator::Impl::applyMapPoint(std::uint8_t command, int id, std::uint8_t value) {
    const MapInfo* target = nullptr;
    for (const MapInfo& map : mapTable()) {
        if (map.pointCommand == command && id >= map.firstPointId && id < map.firstPointId + map.points)
            target = &map;
    }
    if (target)
        image[target->imageOffset + id - target->firstPointId] = wireFromPlain(value);
}

QByteArray EmuSimulator::Impl::identity() const {
    const char16_t letter = config.releaseLetter.unicode();
    const std::uint8_t letterByte = letter ? static_cast<std::uint8_t>(letter - 63) : 1;
    QByteArray id(EmuLength::kIdentity, '\0');
    id[0] = static_cast<char>(config.firmwareVersion & 0xFF);
    id[1] = static_cast<char>(config.type & 0xFF);
    id[2] = static_cast<char>(config.firmwareRelease & 0xFF);
    id[3] = static_cast<char>(letterByte);
    id[4] = 1;
    id[5] = 5; // the "56" signature of a live unit
    id[6] = 6;
    return id;
}

QByteArray EmuSimulator::Impl::frame() {
    const double seconds = static_cast<double>(nowNs() - startNs) / 1e9;
    if (fixedFrame) {
        lastFrame = *fixedFrame;
    } else if (config.mixtureFollowsTune) {
        if (!tune || tuneImage != image) {
            tuneImage = image;
            tune = SimMixture::decodeTune(image, config.type);
        }
        lastFrame = engine.roadFrameAt(seconds, *tune);
    } else {
        lastFrame = engine.frameAt(seconds);
    }
    return lastFrame;
}

void EmuSimulator::Impl::pump() {
    SimReplyPacer::Release due = pacer.take(nowNs());
    for (const std::uint64_t tag : due.finished) {
        // The tag's last byte is the last one of this release that belongs to it.
        outgoingEnds.emplace_back(outgoing.size() + due.bytes.size(), tag);
    }
    outgoing.append(due.bytes);
    if (outgoing.isEmpty() || masterFd < 0)
        return;
    const ssize_t n = ::write(masterFd, outgoing.constData(), static_cast<size_t>(outgoing.size()));
    if (n <= 0)
        return;
    outgoing.remove(0, n);
    const std::int64_t at = nowUs();
    auto it = outgoingEnds.begin();
    for (; it != outgoingEnds.end() && it->first <= n; ++it)
        markReplyDone(it->second, at);
    outgoingEnds.erase(outgoingEnds.begin(), it);
    for (auto& end : outgoingEnds)
        end.first -= n;
}

void EmuSimulator::Impl::markReplyDone(std::uint64_t tag, std::int64_t atUs) {
    std::lock_guard lock(mutex);
    if (tag < recordBase)
        return;
    const auto index = static_cast<qsizetype>(tag - recordBase);
    if (index < records.size())
        records[index].replyDoneUs = atUs;
}

EmuSimulator::EmuSimulator(SimConfig config) : d(std::make_unique<Impl>(std::move(config))) {
}

EmuSimulator::~EmuSimulator() {
    stop();
}

bool EmuSimulator::start() {
    if (running())
        return true;
    d->startNs = nowNs();
    return openAndAnswer();
}

bool EmuSimulator::openAndAnswer() {
    if (!d->openPty())
        return false;
    if (!d->startLoop()) {
        d->closePty();
        return false;
    }
    return true;
}

void EmuSimulator::stop() {
    d->stopLoop();
    d->closePty();
}

bool EmuSimulator::running() const {
    return d->loop.joinable();
}

QString EmuSimulator::devicePath() const {
    return d->config.linkPath.isEmpty() ? ptyPath() : d->config.linkPath;
}

QString EmuSimulator::ptyPath() const {
    std::lock_guard lock(d->mutex);
    return d->ptyPath;
}

QList<SimCommand> EmuSimulator::commands() const {
    std::lock_guard lock(d->mutex);
    return d->records;
}

QByteArray EmuSimulator::receivedBytes() const {
    std::lock_guard lock(d->mutex);
    return d->received;
}

void EmuSimulator::clearRecord() {
    std::lock_guard lock(d->mutex);
    d->recordBase += static_cast<std::uint64_t>(d->records.size());
    d->records.clear();
    d->received.clear();
}

bool EmuSimulator::waitForCommands(int count, int timeoutMs) const {
    // On the thread of the program's event loop, the loop goes on while waiting: the program's
    // exchanges wait on that loop, so blocking it would hold back the very commands waited for.
    QCoreApplication* app = QCoreApplication::instance();
    const bool turnLoop = app && QThread::currentThread() == app->thread();
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        {
            std::unique_lock lock(d->mutex);
            const auto slice = std::chrono::milliseconds(
                turnLoop ? std::min<qint64>(5, deadline.remainingTime()) : deadline.remainingTime());
            if (d->recorded.wait_for(lock, slice, [&] { return d->records.size() >= count; }))
                return true;
        }
        if (deadline.hasExpired())
            return false;
        if (turnLoop)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

std::array<std::uint8_t, kImageSize> EmuSimulator::image() const {
    std::lock_guard lock(d->mutex);
    return d->image;
}

void EmuSimulator::setImage(const std::array<std::uint8_t, kImageReplySize>& wire) {
    std::lock_guard lock(d->mutex);
    std::copy(wire.begin(), wire.end(), d->image.begin());
}

QByteArray EmuSimulator::identityReply() const {
    std::lock_guard lock(d->mutex);
    return d->identity();
}

void EmuSimulator::setSilent(bool silent) {
    std::lock_guard lock(d->mutex);
    d->silent = silent;
}

void EmuSimulator::setShortReplies(int maxBytes) {
    std::lock_guard lock(d->mutex);
    d->shortMax = maxBytes;
}

void EmuSimulator::setShortImageReplies(int maxBytes, int skipWhole) {
    std::lock_guard lock(d->mutex);
    d->imageShortMax = maxBytes;
    d->imageShortSkip = std::max(0, skipWhole);
}

void EmuSimulator::setIgnoreImageWrites(bool ignore) {
    std::lock_guard lock(d->mutex);
    d->ignoreImageWrites = ignore;
}

void EmuSimulator::setLateTail(int tailBytes, int delayMs) {
    std::lock_guard lock(d->mutex);
    d->tailBytes = std::max(0, tailBytes);
    d->tailDelayMs = std::max(0, delayMs);
}

void EmuSimulator::setUsbLatency(bool on) {
    {
        std::lock_guard lock(d->mutex);
        d->usbLatency = on;
    }
    d->wake();
}

void EmuSimulator::unplug() {
    d->stopLoop();
    d->closePty();
}

bool EmuSimulator::replug() {
    unplug();
    if (d->startNs == 0)
        d->startNs = nowNs();
    return openAndAnswer();
}

void EmuSimulator::setFixedFrame(std::optional<QByteArray> frame) {
    std::lock_guard lock(d->mutex);
    d->fixedFrame = std::move(frame);
}

QByteArray EmuSimulator::lastFrame() const {
    std::lock_guard lock(d->mutex);
    return d->lastFrame;
}

std::array<std::uint8_t, kImageReplySize> EmuSimulator::baseTune(int type, const QString& serial) {
    return SimBaseTune::build(type, serial);
}
