#include "link/EmuLink.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

// After the image: its time on the wire (482 bytes at 19200 baud) and a margin for the unit to
// store it, before the read-back is asked for.
constexpr int kReadBackSettleMs = 251 + 250;
// How often a reply that has started but is short is looked at again.
constexpr int kCompletionStepMs = 2;

QByteArray commandByte(std::uint8_t command) {
    return QByteArray(1, static_cast<char>(command));
}

} // namespace

QString ImageRead::shortText() const {
    return QStringLiteral("The EMU sent %1 of %2 bytes of its data table; nothing was loaded.")
        .arg(received())
        .arg(kImageReplySize);
}

EmuLink::EmuLink(LinkState& link, QObject* parent) : QObject(parent), link_(link) {
    configureLine(EFI);
    EFI.setPort(1);
    EFI.setAllowEvents(false);
    EFI.setEndOfResponse(QString());
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setSingleShot(true);
    Timer1.setInterval(kPollPeriodMs);
    pollRest_.setSingleShot(true);
    connect(&pollRest_, &QTimer::timeout, this, &EmuLink::rearmPoll);
    connect(&Timer1, &QTimer::timeout, this, &EmuLink::Timer1Timer);
    Timer2.setObjectName(QStringLiteral("Timer2"));
    Timer2.setSingleShot(true);
    Timer2.setInterval(kPollPeriodMs);
    connect(&Timer2, &QTimer::timeout, this, &EmuLink::Timer2Timer);
}

EmuLink::~EmuLink() {
    dying_ = true;
    Timer1.stop();
    Timer2.stop();
    // Flows still waiting on this link end here: nothing more of them runs.
    std::vector<LinkTaskPromiseBase*> waiting = std::exchange(sleeping_, {});
    for (const Waiter& w : wireWaiters_)
        waiting.push_back(w.promise);
    wireWaiters_.clear();
    for (LinkTaskPromiseBase* p : waiting)
        LinkTaskPromiseBase::cancelChain(p);
    EFI.Close();
}

void EmuLink::configureLine(TQCCom32& port) {
    port.setShowErrors(false);
    port.setBaud(19200);
    port.setHandshaking(TQCCom32::hsNone);
    port.setResponseTime(100);
}

void EmuLink::setPort(int n) {
    EFI.setPort(n);
}

void EmuLink::setDevicePath(const QString& path) {
    EFI.setDevicePath(path);
}

bool EmuLink::open() {
    if (EFI.Opened())
        return true;
    const bool opened = EFI.Open();
    everOpened_ = everOpened_ || opened;
    lineQuiet_ = false; // a device just opened may still be sending
    return opened;
}

void EmuLink::close() {
    EFI.Close();
    // A port closed on purpose is opened again on purpose: no reopen is reported for it.
    everOpened_ = false;
}

void EmuLink::forget(LinkTaskPromiseBase* promise) {
    const auto it = std::find(sleeping_.begin(), sleeping_.end(), promise);
    if (it != sleeping_.end())
        sleeping_.erase(it);
}

void EmuLink::discardWaiting() {
    // A late tail of an earlier reply must not be read as the start of the next one.
    if (EFI.Opened() && EFI.InCount() > 0) {
        QByteArray stale;
        EFI.Read(stale);
    }
}

LinkTask<QByteArray> EmuLink::transact(std::uint8_t command, int pauseMs, int replyLength, bool mayOpen) {
    QByteArray reply;
    if (!EFI.Opened()) {
        if (!mayOpen) {
            // The poll: a device that went away is opened again only to be identified.
            if (!everOpened_ || !open())
                co_return reply;
            // Whatever is at the path now is asked who it is before anything else reaches it:
            // this poll sends nothing.
            emit reopened();
            co_return reply;
        } else if (!open()) {
            co_return reply;
        }
    }
    discardWaiting();
    // Whatever the outcome below, only an exchange that ends with exactly its reply leaves a quiet
    // line behind it.
    const bool lineWasQuiet = std::exchange(lineQuiet_, false);
    if (!EFI.Write(commandByte(command)))
        co_return reply;
    if (command == EmuCommand::kRealTimeFrame && lineWasQuiet) {
        // The live frame is asked for many times a second and holds back every change waiting for
        // the wire: it is taken as soon as it is whole, the pause being the longest it is waited
        // for. Only after a quiet line, when no late tail of an earlier reply can be in front of it
        // (such a mix shows only as too many bytes at the end of the full pause).
        QElapsedTimer paused;
        paused.start();
        while (EFI.Opened() && EFI.InCount() < replyLength && paused.elapsed() < pauseMs)
            co_await After{*this, static_cast<int>(std::min<qint64>(kCompletionStepMs, pauseMs - paused.elapsed()))};
    } else {
        co_await After{*this, pauseMs};
    }
    EFI.Read(reply);
    if (reply.size() > replyLength) {
        // An earlier reply that came after the purge is mixed with this one; which bytes belong
        // to which cannot be told, so neither is taken.
        co_return QByteArray();
    }
    if (reply.size() == replyLength) {
        lineQuiet_ = true;
        co_return reply;
    }
    if (reply.isEmpty())
        co_return reply;

    // Started but short: keep reading until complete or the bounded extra wait has passed.
    QElapsedTimer waited;
    waited.start();
    const int extraWaitMs = extraWaitFor(command);
    while (reply.size() < replyLength && waited.elapsed() < extraWaitMs) {
        co_await After{*this, kCompletionStepMs};
        if (!EFI.Opened())
            break;
        QByteArray more;
        EFI.Read(more);
        reply += more;
    }
    if (reply.size() > replyLength)
        co_return QByteArray();
    lineQuiet_ = reply.size() == replyLength;
    co_return reply;
}

namespace {

// Gives the wire back when the exchange ends, however it ends.
struct WireRelease {
    std::function<void()> release;
    ~WireRelease() { release(); }
};

} // namespace

LinkTask<QByteArray> EmuLink::exchange(std::uint8_t command, int pauseMs, int replyLength, bool mayOpen) {
    co_await WireTurn{*this};
    const WireRelease release{[this] { releaseWire(); }};
    QByteArray reply = co_await transact(command, pauseMs, replyLength, mayOpen);
    co_return reply;
}

void EmuLink::releaseWire() {
    if (dying_)
        return;
    onWire_ = false;
    flushQueued();
    if (!wireWaiters_.empty()) {
        const Waiter next = wireWaiters_.front();
        wireWaiters_.pop_front();
        onWire_ = true;
        // Resumed from the event loop, never inside the exchange that just ended.
        QMetaObject::invokeMethod(
            this, [h = next.handle] { h.resume(); }, Qt::QueuedConnection);
        return;
    }
    rearmPoll();
}

void EmuLink::flushQueued() {
    if (holds_ > 0 || onWire_)
        return;
    while (!queued_.empty()) {
        const QByteArray bytes = queued_.front();
        queued_.pop_front();
        if (!EFI.Opened() || !EFI.Write(bytes))
            emit sendFailed(static_cast<std::uint8_t>(bytes[0]), static_cast<std::uint8_t>(bytes[1]),
                            static_cast<std::uint8_t>(bytes[2]));
    }
}

LinkTask<QByteArray> EmuLink::identifyReply(int pauseMs) {
    QByteArray reply = co_await exchange(EmuCommand::kIdentify, pauseMs, EmuLength::kIdentity, true);
    co_return reply;
}

LinkTask<EmuIdentity> EmuLink::identify(int pauseMs) {
    const QByteArray reply = co_await identifyReply(pauseMs);
    co_return EmuIdentity::fromReply(reply);
}

LinkTask<ImageRead> EmuLink::readImage(int pauseMs) {
    QByteArray reply = co_await exchange(EmuCommand::kReadImage, pauseMs, kImageReplySize, true);
    co_return ImageRead{reply};
}

LinkTask<ImageRead> EmuLink::readImageHeld(int pauseMs) {
    const Hold hold(*this);
    ImageRead image = co_await readImage(pauseMs);
    co_return image;
}

LinkTask<QByteArray> EmuLink::realTimeFrame() {
    QByteArray frame = co_await exchange(EmuCommand::kRealTimeFrame, EmuPause::kRealTimeFrame,
                                         EmuLength::kRealTimeFrame, false);
    co_return frame;
}

LinkTask<ImageWrite> EmuLink::writeImage(QByteArray plainImage) {
    co_await WireTurn{*this};
    const WireRelease release{[this] { releaseWire(); }};
    ImageWrite result;
    if (!open())
        co_return result;
    const bool commandSent = EFI.Write(commandByte(EmuCommand::kWriteImage));
    co_await After{*this, EmuPause::kWriteImageGap};
    if (!commandSent || !EFI.Write(plainImage))
        co_return result;
    result.sent = true;
    co_await After{*this, kReadBackSettleMs};
    QByteArray readBack =
        co_await transact(EmuCommand::kReadImage, EmuPause::kReadImage, kImageReplySize, false);
    result.readBack = readBack;
    co_return result;
}

LinkTask<void> EmuLink::pause(int ms) {
    co_await After{*this, ms};
}

bool EmuLink::sendSet(std::uint8_t command, std::uint8_t id, std::uint8_t value) {
    // A device that went away is found now, not when the queued message would go out.
    if (!EFI.StillThere())
        return false;
    const char bytes[3] = {static_cast<char>(command), static_cast<char>(id), static_cast<char>(value)};
    const QByteArray message(bytes, 3);
    if (!onWire_ && holds_ == 0 && queued_.empty())
        return EFI.Write(message);
    queued_.push_back(message);
    return true;
}

EmuLink::Hold::Hold(EmuLink& link) : link_(&link) {
    ++link_->holds_;
    link_->Timer1.stop();
    link_->Timer2.stop();
}

EmuLink::Hold::~Hold() {
    if (link_->dying_)
        return;
    if (--link_->holds_ == 0) {
        link_->flushQueued();
        link_->rearmPoll();
    }
}

void EmuLink::startPoll() {
    pollWanted_ = true;
    rearmPoll();
}

void EmuLink::stopPoll() {
    pollWanted_ = false;
    Timer1.stop();
}

void EmuLink::startThrottlePoll() {
    throttleWanted_ = true;
    rearmPoll();
}

void EmuLink::stopThrottlePoll() {
    throttleWanted_ = false;
    Timer2.stop();
}

void EmuLink::rearmPoll() {
    if (holds_ > 0 || dying_)
        return;
    // A timer already counting keeps its count, so neither poll starves the other.
    if (pollWanted_ && !pollInFlight_ && !pollRest_.isActive() && !Timer1.isActive())
        Timer1.start();
    if (throttleWanted_ && !throttleInFlight_ && !Timer2.isActive())
        Timer2.start();
}

void EmuLink::Timer1Timer() {
    if (!pollWanted_ || holds_ > 0)
        return;
    if (onWire_ || !link_.EmuConnected) {
        rearmPoll();
        return;
    }
    pollInFlight_ = true;
    pollStarted_.start();
    realTimeFrame().then(this, [this](QByteArray frame) {
        pollInFlight_ = false;
        if (pollWanted_)
            emit frameReceived(frame);
        // A frame taken before its pause was out leaves the wire free for changes at once, but the
        // poll itself rests out the pause: at most 25 polls a second, as with the whole pause.
        const int rest = pollRestMs(pollStarted_.elapsed());
        if (rest > 0)
            pollRest_.start(rest);
        else
            rearmPoll();
    });
}

void EmuLink::Timer2Timer() {
    if (!throttleWanted_ || holds_ > 0)
        return;
    if (onWire_) {
        rearmPoll();
        return;
    }
    throttleInFlight_ = true;
    realTimeFrame().then(this, [this](QByteArray frame) {
        throttleInFlight_ = false;
        if (throttleWanted_)
            emit throttleFrameReceived(frame);
        rearmPoll();
    });
}
