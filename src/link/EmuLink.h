#pragma once

#include "link/EmuIdentity.h"
#include "link/EmuProtocol.h"
#include "link/LinkState.h"
#include "link/LinkTask.h"
#include "link/TQCCom32.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>

#include <algorithm>
#include <QString>
#include <QTimer>

#include <coroutine>
#include <cstdint>
#include <deque>
#include <vector>

// What a whole-image read brought: the reply as it came, and whether it is the whole image.
struct ImageRead {
    QByteArray reply;
    bool complete() const { return reply.size() >= kImageReplySize; }
    int received() const { return static_cast<int>(reply.size()); }
    // "The EMU sent n of 481 bytes of its data table; nothing was loaded."
    QString shortText() const;
};

// What a whole-image write did on the wire: whether the image left the PC, and the unit's image
// read back after it (as it came). Whether the read-back confirms the write is the caller's call.
struct ImageWrite {
    bool sent = false;
    QByteArray readBack;
};

// The one owner of the link: the transport EFI, every exchange over it, the set-message queue and
// the two poll timers. Nothing outside this class touches the port.
//
// No exchange sleeps: a query writes its command, goes back to the event loop, and reads when its
// pause has passed (a single-shot timer), so input and painting go on during every pause. Only one
// exchange is on the wire at a time; a flow that asks for one while another runs waits its turn.
// A set message asked for while an exchange is on the wire (a poll's pause, say) goes out right
// after that exchange's reply has been read, never inside it.
class EmuLink : public QObject {
    Q_OBJECT

  public:
    explicit EmuLink(LinkState& link, QObject* parent = nullptr);
    ~EmuLink() override;

    LinkState& state() { return link_; }

    // The line settings of the unit: 19200 baud, 8N1, no handshake. Written only here.
    static void configureLine(TQCCom32& port);

    // The port: Com n (PortNaming) or a device path given whole.
    void setPort(int n);
    void setDevicePath(const QString& path);
    int portNumber() const { return EFI.Port(); }
    QString devicePath() const { return EFI.DevicePath(); }
    // Opens the current port unless it is open already.
    bool open();
    void close();
    bool isOpen() const { return EFI.Opened(); }
    void purge() { EFI.Purge(); }
    TQCCom32::OpenError lastOpenError() const { return EFI.LastOpenError(); }
    QString lastOpenDevice() const { return EFI.LastOpenDevice(); }

    // The exchanges. Each opens the port when needed (so the first exchange after a replug works),
    // discards what is already waiting, writes its command, waits its pause and takes what has
    // arrived; a reply that has started but is short at the end of the pause is read on until
    // complete or a bounded extra wait has passed. An empty reply stays empty.
    LinkTask<QByteArray> identifyReply(int pauseMs); // 0xFF, 7 bytes
    LinkTask<EmuIdentity> identify(int pauseMs);
    LinkTask<ImageRead> readImage(int pauseMs = EmuPause::kReadImage); // 0xFD, 481 bytes
    // The same with the link held for it: no poll and no queued set message comes in between.
    LinkTask<ImageRead> readImageHeld(int pauseMs = EmuPause::kReadImage);
    LinkTask<QByteArray> realTimeFrame(); // 0xFC, 10 bytes; never opens the port
    // The live poll's timer: the next poll this long after the last one's pause.
    static constexpr int kPollPeriodMs = 20;
    // A frame is taken as soon as it is whole, but a poll that began sinceStartMs ago rests out the
    // rest of its pause before the period to the next one counts: at most 25 polls a second.
    static int pollRestMs(qint64 sinceStartMs) {
        return static_cast<int>(std::max<qint64>(0, EmuPause::kRealTimeFrame - sinceStartMs));
    }
    // 0xF3, its gap, the 482-byte plain image in one write, the time the unit needs to store it,
    // then 0xFD and its read-back, all in one turn on the wire.
    LinkTask<ImageWrite> writeImage(QByteArray plainImage);
    // Waits ms without holding the wire (the pauses of the dialogs' flows).
    LinkTask<void> pause(int ms);

    // A three-byte set message. It is written at once when the wire is free and nothing is queued,
    // otherwise queued behind the exchange under way; a queued message that later fails is told by
    // sendFailed. False when it cannot reach the port: the port is closed (a set never reopens a
    // port, so nothing is sent to whatever is plugged in at the path until it has been identified)
    // or the write failed.
    bool sendSet(std::uint8_t command, std::uint8_t id, std::uint8_t value);
    int queuedSets() const { return static_cast<int>(queued_.size()); }

    // True while an exchange is on the wire or a flow holds the link.
    bool busy() const { return onWire_ || holds_ > 0; }
    bool held() const { return holds_ > 0; }

    // Holds the link for a whole-image flow: the polls and the queued set messages wait until it
    // is released; the flow's own exchanges go on.
    class Hold {
      public:
        explicit Hold(EmuLink& link);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

      private:
        EmuLink* link_;
    };

    // The live poll: Timer1 is single-shot and re-armed after each reply, so the period runs from
    // the end of one exchange to the start of the next. A tick queries 0xFC while EmuConnected and
    // hands the reply (possibly empty) to frameReceived. A tick that finds the link busy waits for
    // the next period.
    QTimer& pollTimer() { return Timer1; }
    void startPoll();
    void stopPoll();
    bool pollRunning() const { return pollWanted_; }

    // The throttle calibration's poll: the same exchange on Timer2, whose frames go to
    // throttleFrameReceived.
    QTimer& throttleTimer() { return Timer2; }
    void startThrottlePoll();
    void stopThrottlePoll();
    bool throttlePollRunning() const { return throttleWanted_; }

    // The awaitable pieces the exchanges are made of (public for the awaiters only).
    struct WireTurn;
    struct After;

  signals:
    void frameReceived(const QByteArray& frame);
    void throttleFrameReceived(const QByteArray& frame);
    // A queued set message did not reach the port.
    void sendFailed(std::uint8_t command, std::uint8_t id, std::uint8_t value);
    // A poll found the port closed (the device went away) and opened it again: whatever is at the
    // path now has not been identified.
    void reopened();

  public slots:
    void Timer1Timer();
    void Timer2Timer();

  private:
    friend struct WireTurn;
    friend struct After;
    struct Waiter {
        std::coroutine_handle<> handle;
        LinkTaskPromiseBase* promise = nullptr;
    };

    LinkTask<QByteArray> exchange(std::uint8_t command, int pauseMs, int replyLength, bool mayOpen);
    // The query itself, with the wire already taken.
    LinkTask<QByteArray> transact(std::uint8_t command, int pauseMs, int replyLength, bool mayOpen);
    void releaseWire();
    void flushQueued();
    void rearmPoll();
    void forget(LinkTaskPromiseBase* promise);
    void discardWaiting();

    LinkState& link_;
    TQCCom32 EFI;
    QTimer Timer1;
    QTimer Timer2;
    bool pollWanted_ = false;
    bool throttleWanted_ = false;
    bool pollInFlight_ = false;
    bool throttleInFlight_ = false;
    bool onWire_ = false;
    bool everOpened_ = false;
    bool dying_ = false;
    // The last exchange ended with exactly its reply: nothing of it can still be on the way.
    bool lineQuiet_ = false;
    QElapsedTimer pollStarted_;
    QTimer pollRest_; // the rest of a poll's pause after its frame was taken early
    int holds_ = 0;
    std::deque<QByteArray> queued_;
    std::deque<Waiter> wireWaiters_;
    std::vector<LinkTaskPromiseBase*> sleeping_; // flows waiting on a pause timer
};

// co_await EmuLink::WireTurn{link}: waits until no other exchange is on the wire, then takes it.
struct EmuLink::WireTurn {
    EmuLink& link;
    bool await_ready() {
        if (link.onWire_)
            return false;
        link.onWire_ = true;
        return true;
    }
    template <typename P> void await_suspend(std::coroutine_handle<P> h) {
        link.wireWaiters_.push_back({h, &h.promise()});
    }
    void await_resume() {}
};

// co_await EmuLink::After{link, ms}: goes back to the event loop for ms.
struct EmuLink::After {
    EmuLink& link;
    int ms;
    bool await_ready() const { return false; }
    template <typename P> void await_suspend(std::coroutine_handle<P> h) {
        LinkTaskPromiseBase* promise = &h.promise();
        link.sleeping_.push_back(promise);
        EmuLink* owner = &link;
        QTimer::singleShot(ms, &link, [owner, h, promise] {
            owner->forget(promise);
            h.resume();
        });
    }
    void await_resume() {}
};
