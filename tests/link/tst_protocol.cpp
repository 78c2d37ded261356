// The protocol layer against pure inputs and against the simulated unit on a real pty.
#include "link/EmuIdentity.h"
#include "link/EmuProtocol.h"
#include "link/TQCCom32.h"

#include "EmuSimulator.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

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
    void connectCopyCutsAt101();

    void init();
    void cleanup();
    void identifyOverPty();
    void imageWithStoredTopValueIsCopiedWhole();
    void shortAndEmptyReplies();
    void lateTailIsCompletedOrDiscarded();
    void usbLatencyFrameIsComplete();
    void setMessagesReachTheWire();
    void imageWrite();
    void unpluggedUnitDoesNotHang();

  private:
    void startSim(SimConfig config = {});

    QTemporaryDir dir_;
    std::unique_ptr<EmuSimulator> sim_;
    std::unique_ptr<TQCCom32> port_;
    std::unique_ptr<EmuProtocol> protocol_;
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

void TestProtocol::connectCopyCutsAt101() {
    std::array<std::uint8_t, EmuLength::kSetupBlock> setup;
    setup.fill(kReplyFillByte);
    QByteArray reply(EmuLength::kImageReply, 0);
    for (int i = 0; i < reply.size(); ++i)
        reply[i] = static_cast<char>(1 + i % 250);
    QCOMPARE(copyReply(reply, setup.data(), EmuLength::kSetupBlock, EmuLength::kSetupBlock), 101);
    QCOMPARE(setup[100], std::uint8_t(1 + 100));
}

void TestProtocol::startSim(SimConfig config) {
    config.linkPath = dir_.filePath(QStringLiteral("ttyEMU"));
    sim_ = std::make_unique<EmuSimulator>(config);
    QVERIFY(sim_->start());
    qputenv("EMU_PORTS", sim_->devicePath().toLocal8Bit());
    port_ = std::make_unique<TQCCom32>();
    port_->setShowErrors(false);
    port_->setBaud(19200);
    port_->setPort(1);
    protocol_ = std::make_unique<EmuProtocol>(*port_);
    QVERIFY(port_->Open());
}

void TestProtocol::init() {
    if (QByteArray(QTest::currentTestFunction()).startsWith("identityDecoding") ||
        QByteArray(QTest::currentTestFunction()) == "replyCopy" ||
        QByteArray(QTest::currentTestFunction()) == "connectCopyCutsAt101")
        return;
    startSim();
}

void TestProtocol::cleanup() {
    protocol_.reset();
    port_.reset();
    if (sim_)
        sim_->stop();
    sim_.reset();
}

void TestProtocol::identifyOverPty() {
    sim_->stop();
    SimConfig config;
    config.type = 5;
    config.firmwareVersion = 1;
    config.firmwareRelease = 13;
    config.releaseLetter = QLatin1Char('B');
    cleanup();
    startSim(config);

    const EmuIdentity id = EmuIdentity::fromReply(protocol_->identify(EmuPause::kIdentifyConnect));
    QCOMPARE(id.model(), 5);
    QCOMPARE(id.firmwareVersionText(), QStringLiteral("1.13"));
    QCOMPARE(id.releaseLetter(), QStringLiteral("B"));
    QVERIFY(id.isLiveUnit());
    QCOMPARE(sim_->commands().size(), 1);
    QCOMPARE(sim_->commands().first().bytes, bytes({0xFF}));
}

void TestProtocol::imageWithStoredTopValueIsCopiedWhole() {
    // A jet trim at 255 is stored as wire 0: the copy must go on past it.
    QVERIFY(protocol_->setParameter(3, 255));
    QVERIFY(sim_->waitForCommands(1, 2000));
    const auto expected = sim_->image();
    QCOMPARE(expected[3], std::uint8_t(0));

    const QByteArray reply = protocol_->readImage();
    QCOMPARE(reply.size(), EmuLength::kImageReply);
    std::array<std::uint8_t, 482> received;
    received.fill(kReplyFillByte);
    QCOMPARE(copyReply(reply, received.data(), 482, EmuLength::kImageReply), EmuLength::kImageReply);
    for (int k = 0; k < EmuLength::kImageReply; ++k)
        QCOMPARE(received[k], expected[k]);
    QCOMPARE(received[481], std::uint8_t(0));
}

void TestProtocol::shortAndEmptyReplies() {
    sim_->setShortReplies(100);
    const QByteArray shortImage = protocol_->readImage();
    QCOMPARE(shortImage.size(), 100);
    std::array<std::uint8_t, 482> buf;
    buf.fill(kReplyFillByte);
    copyReply(shortImage, buf.data(), 482, EmuLength::kImageReply);
    QCOMPARE(buf[100], std::uint8_t(0));
    QCOMPARE(buf[101], kReplyFillByte);
    QCOMPARE(buf[480], kReplyFillByte);

    sim_->setShortReplies(-1);
    sim_->setSilent(true);
    QVERIFY(protocol_->realTimeFrame().isEmpty());
    QVERIFY(EmuIdentity::fromReply(protocol_->identify(EmuPause::kIdentifySearch)).signature() == "4848");
}

void TestProtocol::lateTailIsCompletedOrDiscarded() {
    const QByteArray frame = bytes({31, 129, 51, 46, 86, 41, 128, 131, 61, 1});
    sim_->setFixedFrame(frame);

    // A tail within the extra wait completes the frame.
    sim_->setLateTail(3, 25);
    QCOMPARE(protocol_->realTimeFrame(), frame);

    // A tail far beyond it: this frame is short, and the next query must not start with it.
    sim_->setLateTail(4, 80);
    const QByteArray cut = protocol_->realTimeFrame();
    QCOMPARE(cut, frame.left(6));
    QTest::qWait(150); // the tail arrives while nobody reads
    sim_->setLateTail(0, 0);
    QCOMPARE(protocol_->realTimeFrame(), frame);
}

void TestProtocol::usbLatencyFrameIsComplete() {
    // An adapter that holds a frame close to the pause: a frame is either whole or (when it missed
    // the pause entirely) empty, never cut or shifted by the previous frame's bytes.
    const QByteArray frame = bytes({31, 129, 51, 46, 86, 41, 128, 131, 61, 1});
    sim_->setFixedFrame(frame);
    sim_->setUsbLatency(true);
    int whole = 0;
    for (int i = 0; i < 40; ++i) {
        const QByteArray reply = protocol_->realTimeFrame();
        if (reply.isEmpty())
            continue;
        QCOMPARE(reply, frame);
        ++whole;
    }
    QVERIFY(whole > 0);
}

void TestProtocol::setMessagesReachTheWire() {
    QVERIFY(protocol_->setParameter(22, 0)); // "Internal": the 0 operand reaches the port
    QVERIFY(protocol_->sendSet(EmuCommand::kMapPointE8, 30, 24));
    QVERIFY(protocol_->sendSet(EmuCommand::kMapPointDE, 0, 150));
    QVERIFY(sim_->waitForCommands(3, 2000));
    const auto commands = sim_->commands();
    QCOMPARE(commands[0].bytes, bytes({0xF2, 22, 0}));
    QCOMPARE(commands[1].bytes, bytes({0xE8, 30, 24}));
    QCOMPARE(commands[2].bytes, bytes({0xDE, 0, 150}));
    const auto image = sim_->image();
    QCOMPARE(image[22], std::uint8_t(1));
    QCOMPARE(image[101 + 29], std::uint8_t(25));
    QCOMPARE(image[233], std::uint8_t(151));
}

void TestProtocol::imageWrite() {
    QByteArray plain(482, 0);
    for (int i = 0; i < 481; ++i)
        plain[i] = static_cast<char>((i * 7) % 256); // 0 and 255 among them
    plain[481] = 56;
    QVERIFY(protocol_->writeImage(plain));
    QVERIFY(sim_->waitForCommands(1, 5000));
    const SimCommand cmd = sim_->commands().first();
    QCOMPARE(cmd.bytes.size(), 483);
    QCOMPARE(std::uint8_t(cmd.bytes[0]), EmuCommand::kWriteImage);
    QCOMPARE(cmd.bytes.mid(1), plain);
    const auto image = sim_->image();
    for (int i = 0; i < 481; ++i)
        QCOMPARE(image[i], std::uint8_t((plain[i] + 1) & 0xFF));
}

void TestProtocol::unpluggedUnitDoesNotHang() {
    sim_->unplug();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 20; ++i)
        QVERIFY(protocol_->realTimeFrame().isEmpty());
    QVERIFY(!protocol_->setParameter(1, 2));
    QVERIFY(t.elapsed() < 20 * 1000); // no spin and no hang; each query costs its pause at most

    QVERIFY(sim_->replug());
    QVERIFY(protocol_->setParameter(1, 36));
    QVERIFY(sim_->waitForCommands(1, 2000));
    QCOMPARE(sim_->commands().last().bytes, bytes({0xF2, 1, 36}));
}

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
