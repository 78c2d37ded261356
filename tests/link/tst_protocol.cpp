// The protocol against pure inputs, and the link owner's exchanges against the simulated unit on a
// real pty.
#include "link/EmuIdentity.h"
#include "link/EmuLink.h"
#include "link/EmuProtocol.h"

#include "EmuSimulator.h"
#include "RunTask.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// The simulator stamps a command when its thread has parsed it, a few milliseconds after the host
// wrote it (more on a loaded machine); a gap between two stamps may look that much shorter than the
// host's pause.
constexpr int kParseSlackMs = 10;

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

} // namespace

class TestProtocol : public QObject {
    Q_OBJECT

  private slots:
    void identityDecoding_data();
    void identityDecoding();
    void replyCopy();

    void init();
    void cleanup();
    void identifyOverPty();
    void imageWithStoredTopValueIsCopiedWhole();
    void shortAndEmptyReplies();
    void lateTailIsCompletedOrDiscarded();
    void usbLatencyFrameIsComplete();
    void aWholeFrameIsTakenWithoutWaitingOutItsPause();
    void setMessagesReachTheWire();
    void imageWrite();
    void unpluggedUnitDoesNotHang();
    void oneExchangeOnTheWireAtATime();
    void setDuringAPollGoesOutAfterItsReply();
    void setOnAClosedPortIsRefused();
    void linkGoesAwayWithFlowsWaiting();

  private:
    void startSim(SimConfig config = {});

    QTemporaryDir dir_;
    std::unique_ptr<EmuSimulator> sim_;
    LinkState state_;
    std::unique_ptr<EmuLink> link_;
};

void TestProtocol::identityDecoding_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("model");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("letter");
    QTest::addColumn<QString>("signature");
    QTest::addColumn<QString>("type");

    QTest::newRow("type 3, letter A") << bytes({1, 3, 13, 2, 9, 5, 6}) << 3 << "1.13"
                                      << "A"
                                      << "56"
                                      << "Fuel and Timing";
    QTest::newRow("no letter") << bytes({1, 1, 13, 1, 9, 5, 6}) << 1 << "1.13"
                               << ""
                               << "56"
                               << "Timing and Vacuum";
    QTest::newRow("letter B, type 6") << bytes({1, 6, 20, 3, 9, 5, 6}) << 6 << "1.20"
                                      << "B"
                                      << "56"
                                      << "Advanced Fuel and Timing";
    QTest::newRow("file identity") << bytes({1, 2, 13, 1, 2, 4, 4}) << 2 << "1.13"
                                   << ""
                                   << "44"
                                   << "Fuel";
    QTest::newRow("no answer: the fill") << QByteArray() << 48 << "0.48"
                                         << "o"
                                         << "4848"
                                         << "";
    QTest::newRow("unknown model") << bytes({2, 9, 1, 1, 1, 5, 6}) << 9 << "2.1"
                                   << ""
                                   << "56"
                                   << "";
}

void TestProtocol::identityDecoding() {
    QFETCH(QByteArray, reply);
    QFETCH(int, model);
    QFETCH(QString, version);
    QFETCH(QString, letter);
    QFETCH(QString, signature);
    QFETCH(QString, type);
    const EmuIdentity id = EmuIdentity::fromReply(reply);
    QCOMPARE(id.model(), model);
    QCOMPARE(id.firmwareVersionText(), version);
    QCOMPARE(id.releaseLetter(), letter);
    QCOMPARE(id.signature(), signature);
    QCOMPARE(EmuIdentity::connectTypeText(id.model()), type);
}

void TestProtocol::replyCopy() {
    // A short reply: the bytes, a 0 after them, the 48 fill beyond.
    std::array<std::uint8_t, 12> buf;
    buf.fill(kReplyFillByte);
    QCOMPARE(copyReply(bytes({7, 8, 9}), buf.data(), 12, 10), 3);
    QCOMPARE(buf[2], std::uint8_t(9));
    QCOMPARE(buf[3], std::uint8_t(0));
    QCOMPARE(buf[4], kReplyFillByte);
    QCOMPARE(buf[11], kReplyFillByte);

    // A 0 byte inside the reply (a stored 255) does not end the copy.
    buf.fill(kReplyFillByte);
    QCOMPARE(copyReply(bytes({5, 0, 6, 7}), buf.data(), 12, 10), 4);
    QCOMPARE(buf[1], std::uint8_t(0));
    QCOMPARE(buf[2], std::uint8_t(6));
    QCOMPARE(buf[3], std::uint8_t(7));
    QCOMPARE(buf[4], std::uint8_t(0));

    // An empty reply leaves 0 in the first position (a silent unit reads as -1 in a frame).
    buf.fill(77);
    QCOMPARE(copyReply(QByteArray(), buf.data(), 10, 10), 0);
    QCOMPARE(buf[0], std::uint8_t(0));
    QCOMPARE(buf[1], std::uint8_t(77));

    // A full buffer has no room for the closing 0 and none is written past it.
    std::array<std::uint8_t, 11> guard;
    guard.fill(99);
    QCOMPARE(copyReply(QByteArray(20, 3), guard.data(), 10, 10), 10);
    QCOMPARE(guard[9], std::uint8_t(3));
    QCOMPARE(guard[10], std::uint8_t(99));
}

void TestProtocol::startSim(SimConfig config) {
    config.linkPath = dir_.filePath(QStringLiteral("ttyEMU"));
    sim_ = std::make_unique<EmuSimulator>(config);
    QVERIFY(sim_->start());
    qputenv("EMU_PORTS", sim_->devicePath().toLocal8Bit());
    state_ = LinkState{};
    link_ = std::make_unique<EmuLink>(state_);
    link_->setPort(1);
    QVERIFY(link_->open());
}

void TestProtocol::init() {
    // The pure-input cases need no unit.
    if (!QByteArrayList{"identityDecoding", "replyCopy"}.contains(QTest::currentTestFunction()))
        startSim();
}

void TestProtocol::cleanup() {
    link_.reset();
    if (sim_)
        sim_->stop();
    sim_.reset();
}

void TestProtocol::identifyOverPty() {
    SimConfig config;
    config.type = 5;
    config.firmwareVersion = 1;
    config.firmwareRelease = 13;
    config.releaseLetter = QLatin1Char('B');
    cleanup();
    startSim(config);

    QElapsedTimer t;
    t.start();
    LinkTask<EmuIdentity> task = link_->identify(EmuPause::kIdentifyConnect);
    // The exchange waits on a timer: the caller is back before the reply is read.
    QVERIFY(!task.done());
    QVERIFY(link_->busy());
    const auto id = runTask(std::move(task));
    QVERIFY(id);
    // The read comes after the whole pause.
    QVERIFY2(t.elapsed() >= EmuPause::kIdentifyConnect, qPrintable(QString::number(t.elapsed())));
    QVERIFY(!link_->busy());
    QCOMPARE(id->model(), 5);
    QCOMPARE(id->firmwareVersionText(), QStringLiteral("1.13"));
    QCOMPARE(id->releaseLetter(), QStringLiteral("B"));
    QVERIFY(id->isLiveUnit());
    QCOMPARE(sim_->commands().size(), 1);
    QCOMPARE(sim_->commands().first().bytes, bytes({0xFF}));
}

void TestProtocol::imageWithStoredTopValueIsCopiedWhole() {
    // A jet trim at 255 is stored as wire 0: the copy must go on past it.
    QVERIFY(link_->sendSet(EmuCommand::kSetParameter, 3, 255));
    QVERIFY(sim_->waitForCommands(1, 2000));
    const auto expected = sim_->image();
    QCOMPARE(expected[3], std::uint8_t(0));

    const auto image = runTask(link_->readImage());
    QVERIFY(image);
    QVERIFY(image->complete());
    const QByteArray reply = image->reply;
    QCOMPARE(reply.size(), kImageReplySize);
    std::array<std::uint8_t, 482> received;
    received.fill(kReplyFillByte);
    QCOMPARE(copyReply(reply, received.data(), 482, kImageReplySize), kImageReplySize);
    for (int k = 0; k < kImageReplySize; ++k)
        QCOMPARE(received[k], expected[k]);
    QCOMPARE(received[481], std::uint8_t(0));
}

void TestProtocol::shortAndEmptyReplies() {
    sim_->setShortReplies(100);
    const auto shortImage = runTask(link_->readImage());
    QVERIFY(shortImage);
    QVERIFY(!shortImage->complete());
    QCOMPARE(shortImage->received(), 100);
    QCOMPARE(shortImage->shortText(),
             QStringLiteral("The EMU sent 100 of 481 bytes of its data table; nothing was loaded."));

    sim_->setShortReplies(-1);
    sim_->setSilent(true);
    const auto frame = runTask(link_->realTimeFrame());
    QVERIFY(frame);
    QVERIFY(frame->isEmpty());
    const auto id = runTask(link_->identify(EmuPause::kIdentifySearch));
    QVERIFY(id);
    QCOMPARE(id->signature(), QStringLiteral("4848"));
}

void TestProtocol::lateTailIsCompletedOrDiscarded() {
    const QByteArray frame = bytes({31, 129, 51, 46, 86, 41, 128, 131, 61, 1});
    sim_->setFixedFrame(frame);

    // A tail within the extra wait completes the frame.
    sim_->setLateTail(3, 25);
    QCOMPARE(runTask(link_->realTimeFrame()), std::optional<QByteArray>(frame));

    // A tail far beyond it: this frame is short, and the next query must not start with it.
    sim_->setLateTail(4, 80);
    QCOMPARE(runTask(link_->realTimeFrame()), std::optional<QByteArray>(frame.left(6)));
    QTest::qWait(150); // the tail arrives while nobody reads
    sim_->setLateTail(0, 0);
    QCOMPARE(runTask(link_->realTimeFrame()), std::optional<QByteArray>(frame));
}

void TestProtocol::usbLatencyFrameIsComplete() {
    // An adapter that holds a frame close to the pause: a frame is either whole or (when it missed
    // the pause entirely) empty, never cut or shifted by the previous frame's bytes.
    const QByteArray frame = bytes({31, 129, 51, 46, 86, 41, 128, 131, 61, 1});
    sim_->setFixedFrame(frame);
    sim_->setUsbLatency(true);
    int whole = 0;
    for (int i = 0; i < 40; ++i) {
        const auto reply = runTask(link_->realTimeFrame());
        QVERIFY(reply);
        if (reply->isEmpty())
            continue;
        QCOMPARE(*reply, frame);
        ++whole;
    }
    QVERIFY(whole > 0);
}

void TestProtocol::aWholeFrameIsTakenWithoutWaitingOutItsPause() {
    const QByteArray frame = bytes({31, 129, 51, 46, 86, 41, 128, 131, 61, 1});
    sim_->setFixedFrame(frame);
    const auto timed = [&] {
        QElapsedTimer t;
        t.start();
        const auto reply = runTask(link_->realTimeFrame());
        return std::pair{t.elapsed(), reply.value_or(QByteArray())};
    };
    // The first exchange on a port just opened waits its whole pause.
    auto [first, firstReply] = timed();
    QCOMPARE(firstReply, frame);
    QVERIFY(first >= EmuPause::kRealTimeFrame);
    // After an exchange that ended with exactly its reply, a frame is read as soon as it is whole.
    qint64 quickest = 1000;
    for (int i = 0; i < 5; ++i) {
        auto [took, reply] = timed();
        QCOMPARE(reply, frame);
        quickest = std::min(quickest, took);
    }
    QVERIFY2(quickest < EmuPause::kRealTimeFrame - 5, qPrintable(QString::number(quickest)));
    // After a silent exchange a late reply may still come: the next frame waits its whole pause.
    sim_->setSilent(true);
    QCOMPARE(timed().second, QByteArray());
    sim_->setSilent(false);
    auto [afterSilence, reply] = timed();
    QCOMPARE(reply, frame);
    QVERIFY(afterSilence >= EmuPause::kRealTimeFrame);

    // However soon its frames are whole, the poll asks at most 25 times a second.
    state_.EmuConnected = true;
    QSignalSpy frames(link_.get(), &EmuLink::frameReceived);
    QElapsedTimer polled;
    polled.start();
    link_->startPoll();
    QTest::qWait(1000);
    link_->stopPoll();
    QVERIFY2(frames.size() <= 1 + polled.elapsed() / 40, qPrintable(QString::number(frames.size())));
    QVERIFY(frames.size() >= 10);
}

void TestProtocol::setMessagesReachTheWire() {
    // With the wire free a set is written at once, nothing queued.
    QVERIFY(link_->sendSet(EmuCommand::kSetParameter, 22, 0)); // "Internal": the 0 operand reaches the port
    QVERIFY(link_->sendSet(EmuCommand::kMapPointE8, 30, 24));
    QVERIFY(link_->sendSet(EmuCommand::kMapPointDE, 0, 150));
    QCOMPARE(link_->queuedSets(), 0);
    QVERIFY(sim_->waitForCommands(3, 2000));
    const auto commands = sim_->commands();
    QCOMPARE(commands[0].bytes, bytes({0xF2, 22, 0}));
    QCOMPARE(commands[1].bytes, bytes({0xE8, 30, 24}));
    QCOMPARE(commands[2].bytes, bytes({0xDE, 0, 150}));
    const auto image = sim_->image();
    QCOMPARE(image[22], std::uint8_t(1));
    QCOMPARE(image[101 + 29], std::uint8_t(25));
    QCOMPARE(image[233], std::uint8_t(151));

    // Sets asked for while an exchange is on the wire wait for it, then leave in their order.
    sim_->clearRecord();
    LinkTask<QByteArray> frame = link_->realTimeFrame();
    QVERIFY(link_->sendSet(EmuCommand::kMapPointD4, 2, 7));
    QVERIFY(link_->sendSet(EmuCommand::kMapPointCA, 3, 0));
    QCOMPARE(link_->queuedSets(), 2);
    QVERIFY(!sim_->waitForCommands(2, 10)); // still inside the frame's pause
    const auto reply = runTask(std::move(frame));
    QVERIFY(reply);
    QCOMPARE(reply->size(), EmuLength::kRealTimeFrame);
    QCOMPARE(link_->queuedSets(), 0);
    QVERIFY(sim_->waitForCommands(3, 2000));
    const auto after = sim_->commands();
    QCOMPARE(after[0].bytes, bytes({0xFC}));
    QCOMPARE(after[1].bytes, bytes({0xD4, 2, 7}));
    QCOMPARE(after[2].bytes, bytes({0xCA, 3, 0}));
}

void TestProtocol::imageWrite() {
    QByteArray plain(482, 0);
    for (int i = 0; i < 481; ++i)
        plain[i] = static_cast<char>((i * 7) % 256); // 0 and 255 among them
    plain[481] = 56;
    const auto written = runTask(link_->writeImage(plain));
    QVERIFY(written);
    QVERIFY(written->sent);
    const auto commands = sim_->commands();
    QCOMPARE(commands.size(), 2);
    const SimCommand cmd = commands.first();
    QCOMPARE(cmd.bytes.size(), 483);
    QCOMPARE(std::uint8_t(cmd.bytes[0]), EmuCommand::kWriteImage);
    QCOMPARE(cmd.bytes.mid(1), plain);
    const auto image = sim_->image();
    for (int i = 0; i < 481; ++i)
        QCOMPARE(image[i], std::uint8_t((plain[i] + 1) & 0xFF));

    // The read-back in the same turn: 0xFD after the gap, the image's time on the wire and the
    // unit's time to store it, and what it brought is the unit's image.
    QCOMPARE(commands[1].bytes, bytes({0xFD}));
    QVERIFY2(commands[1].receivedUs - cmd.receivedUs >=
                 (EmuPause::kWriteImageGap + 500 - kParseSlackMs) * 1000,
             qPrintable(QString::number(commands[1].receivedUs - cmd.receivedUs)));
    QCOMPARE(written->readBack.size(), kImageReplySize);
    for (int i = 0; i < 481; ++i)
        QCOMPARE(std::uint8_t(written->readBack[i]), image[i]);
}

void TestProtocol::unpluggedUnitDoesNotHang() {
    sim_->unplug();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 20; ++i) {
        const auto frame = runTask(link_->realTimeFrame());
        QVERIFY(frame);
        QVERIFY(frame->isEmpty());
    }
    QVERIFY(!link_->sendSet(EmuCommand::kSetParameter, 1, 2));
    QVERIFY(t.elapsed() < 20 * 1000); // no spin and no hang; each query costs its pause at most

    QVERIFY(sim_->replug());
    // A set never opens the port: nothing reaches whatever is at the path before it is opened.
    QVERIFY(!link_->sendSet(EmuCommand::kSetParameter, 1, 36));
    QVERIFY(!sim_->waitForCommands(1, 200));
    QVERIFY(link_->open());
    QVERIFY(link_->sendSet(EmuCommand::kSetParameter, 1, 36));
    QVERIFY(sim_->waitForCommands(1, 2000));
    QCOMPARE(sim_->commands().last().bytes, bytes({0xF2, 1, 36}));
}

void TestProtocol::oneExchangeOnTheWireAtATime() {
    // Three flows ask at once: each waits its turn, and each command goes out only after the one
    // before it has had its whole pause and its reply.
    QElapsedTimer t;
    t.start();
    LinkTask<EmuIdentity> identify = link_->identify(EmuPause::kIdentifySearch);
    LinkTask<ImageRead> image = link_->readImage();
    LinkTask<QByteArray> frame = link_->realTimeFrame();
    QVERIFY(!identify.done() && !image.done() && !frame.done());
    QVERIFY(sim_->waitForCommands(1, 2000));
    QTest::qWait(50);
    QCOMPARE(sim_->commands().size(), 1); // the others wait while the identify is on the wire
    QVERIFY(spinUntilDone(frame, 10000));
    QVERIFY(identify.done() && image.done());
    QVERIFY(identify.result().isLiveUnit());
    QVERIFY(image.result().complete());
    QCOMPARE(frame.result().size(), EmuLength::kRealTimeFrame);
    QVERIFY(t.elapsed() >= EmuPause::kIdentifySearch + EmuPause::kReadImage);

    const auto commands = sim_->commands();
    QCOMPARE(commands.size(), 3);
    QCOMPARE(commands[0].bytes, bytes({0xFF}));
    QCOMPARE(commands[1].bytes, bytes({0xFD}));
    QCOMPARE(commands[2].bytes, bytes({0xFC}));
    const int pauses[] = {EmuPause::kIdentifySearch, EmuPause::kReadImage};
    for (int i = 0; i < 2; ++i) {
        QVERIFY(commands[i + 1].receivedUs >= commands[i].replyDoneUs);
        QVERIFY2(commands[i + 1].receivedUs - commands[i].receivedUs >= (pauses[i] - kParseSlackMs) * 1000,
                 qPrintable(QStringLiteral("command %1 came %2 us after the one before")
                                .arg(i + 1)
                                .arg(commands[i + 1].receivedUs - commands[i].receivedUs)));
    }
}

void TestProtocol::setDuringAPollGoesOutAfterItsReply() {
    const QByteArray fixed = bytes({31, 129, 51, 46, 86, 41, 128, 131, 61, 1});
    sim_->setFixedFrame(fixed);
    state_.EmuConnected = true;
    QSignalSpy frames(link_.get(), &EmuLink::frameReceived);
    link_->startPoll();
    // Catch the poll inside its pause: its 0xFC is out, its reply not yet read.
    QElapsedTimer t;
    t.start();
    while (!link_->busy() && t.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    QVERIFY(link_->busy());
    QVERIFY(link_->sendSet(EmuCommand::kSetParameter, 22, 0));
    QCOMPARE(link_->queuedSets(), 1);
    QVERIFY(frames.wait(2000));
    link_->stopPoll();
    QCOMPARE(link_->queuedSets(), 0);
    // That poll's reply came whole: the set did not cut into it.
    QCOMPARE(frames.first().first().toByteArray(), fixed);

    // The set as the unit parsed it, and the command just before it.
    const auto findSet = [this] {
        const auto commands = sim_->commands();
        for (qsizetype i = 0; i < commands.size(); ++i)
            if (commands[i].bytes == bytes({0xF2, 22, 0}))
                return i;
        return qsizetype(-1);
    };
    QTRY_VERIFY_WITH_TIMEOUT(findSet() >= 0, 2000);
    const qsizetype set = findSet();
    const auto commands = sim_->commands();
    QVERIFY(set > 0);
    const SimCommand& poll = commands[set - 1];
    QCOMPARE(poll.bytes, bytes({0xFC}));
    // Not inside the exchange: after the unit's reply and after the host's pause before its read.
    QVERIFY(commands[set].receivedUs >= poll.replyDoneUs);
    QVERIFY2(commands[set].receivedUs - poll.receivedUs >= (EmuPause::kRealTimeFrame - kParseSlackMs) * 1000,
             qPrintable(QString::number(commands[set].receivedUs - poll.receivedUs)));
}

void TestProtocol::setOnAClosedPortIsRefused() {
    link_->close();
    QVERIFY(!link_->isOpen());
    QVERIFY(!link_->sendSet(EmuCommand::kSetParameter, 22, 1));
    QVERIFY(!link_->sendSet(EmuCommand::kMapPointE8, 1, 20));
    QCOMPARE(link_->queuedSets(), 0);
    QVERIFY(!sim_->waitForCommands(1, 300));
    QVERIFY(sim_->receivedBytes().isEmpty());
    QVERIFY(!link_->isOpen()); // and it stays closed
}

namespace {

// A flow of two exchanges and a pause, as the dialogs run them.
LinkTask<int> twoExchanges(EmuLink& link, bool* reachedEnd) {
    const EmuIdentity id = co_await link.identify(EmuPause::kIdentifySearch);
    co_await link.pause(200);
    const ImageRead image = co_await link.readImage();
    *reachedEnd = true;
    co_return id.model() + image.received();
}

} // namespace

void TestProtocol::linkGoesAwayWithFlowsWaiting() {
    // Flows in every kind of wait: in an exchange's pause, waiting for the wire, nested in another
    // flow, and in a plain pause. The link goes away; none of them runs on or calls back.
    bool reachedEnd = false;
    int calledBack = 0;
    QObject context;
    link_->readImage().then(&context, [&](ImageRead) { ++calledBack; });
    link_->identify(EmuPause::kIdentifyConnect).then(&context, [&](EmuIdentity) { ++calledBack; });
    twoExchanges(*link_, &reachedEnd).then(&context, [&](int) { ++calledBack; });
    link_->pause(100).then(&context, [&] { ++calledBack; });
    state_.EmuConnected = true;
    link_->startPoll();
    QTest::qWait(50);
    QVERIFY(link_->busy());

    link_.reset();
    QTest::qWait(1200); // every pause the flows were waiting for has passed
    QCOMPARE(calledBack, 0);
    QVERIFY(!reachedEnd);

    // The device is free again for a new owner.
    link_ = std::make_unique<EmuLink>(state_);
    link_->setPort(1);
    QVERIFY(link_->open());
    const auto id = runTask(link_->identify(EmuPause::kIdentifySearch));
    QVERIFY(id);
    QVERIFY(id->isLiveUnit());
}

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
