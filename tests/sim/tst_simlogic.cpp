// The simulator's timing, parsing and engine model without a pty, on a made-up clock.

#include "SimCommandParser.h"
#include "SimEngineModel.h"
#include "SimReplyPacer.h"

#include "link/EmuProtocol.h"

#include <QTest>

#include <algorithm>

using namespace EmuCommand;

namespace {

constexpr std::int64_t kByte = SimReplyPacer::kByteNs;
constexpr std::int64_t kMs = 1'000'000;

QByteArray counting(int n) {
    QByteArray out(n, '\0');
    for (int i = 0; i < n; ++i)
        out[i] = static_cast<char>(1 + i % 250);
    return out;
}

struct Release {
    std::int64_t atNs;
    QByteArray bytes;
};

// Steps the pacer from one due time to the next until it is idle.
QList<Release> drain(SimReplyPacer& pacer, std::int64_t limitNs = 60'000 * kMs) {
    QList<Release> out;
    while (!pacer.idle()) {
        const std::int64_t due = pacer.nextDueNs();
        if (due < 0 || due > limitNs)
            break;
        const SimReplyPacer::Release r = pacer.take(due);
        if (!r.bytes.isEmpty())
            out.append({due, r.bytes});
    }
    return out;
}

QByteArray joined(const QList<Release>& releases) {
    QByteArray all;
    for (const Release& r : releases)
        all += r.bytes;
    return all;
}

} // namespace

class TestSimLogic : public QObject {
    Q_OBJECT

  private slots:
    void lineDeliversAtBaudRate_data();
    void lineDeliversAtBaudRate();
    void repliesQueueBehindEachOther();
    void replyFinishesWithItsLastByte();
    void lateTailComesLater();
    void usbHoldsShortReply();
    void usbLongReplyInPackets();
    void usbOffReleasesHeldPacket();

    void parserSplitsCommands_data();
    void parserSplitsCommands();
    void parserGivesUpStalledImage();
    void parserGivesUpStalledSet();

    void engineIsDeterministic();
    void engineFramesHaveNoZeroByte();
    void engineIdlesAndRevs();
    void engineWarmsUp();
    void engineVacuumFollowsThrottle();
};

void TestSimLogic::lineDeliversAtBaudRate_data() {
    QTest::addColumn<qint64>("atNs");
    QTest::addColumn<int>("delivered");
    QTest::newRow("before the first byte is through") << qint64(kByte - 1) << 0;
    QTest::newRow("first byte") << qint64(kByte) << 1;
    QTest::newRow("5 ms") << qint64(5 * kMs) << 9;
    QTest::newRow("all ten at 5.21 ms") << qint64(10 * kByte) << 10;
    QTest::newRow("long after") << qint64(1000 * kMs) << 10;
}

void TestSimLogic::lineDeliversAtBaudRate() {
    QFETCH(qint64, atNs);
    QFETCH(int, delivered);
    SimReplyPacer pacer;
    const std::int64_t t0 = 1000 * kMs;
    pacer.enqueue(counting(10), t0, 1);
    QCOMPARE(pacer.take(t0 + atNs).bytes, counting(10).left(delivered));
}

void TestSimLogic::repliesQueueBehindEachOther() {
    SimReplyPacer pacer;
    pacer.enqueue(counting(10), 0, 1);
    pacer.enqueue(QByteArray("abc"), 1 * kMs, 2); // asked for while the first is still going out
    QCOMPARE(pacer.take(11 * kByte - 1).bytes, counting(10));
    QCOMPARE(pacer.take(11 * kByte).bytes, QByteArray("a"));
    QCOMPARE(pacer.take(13 * kByte).bytes, QByteArray("bc"));
    QVERIFY(pacer.idle());
    // A reply asked for after the line has gone quiet starts then.
    pacer.enqueue(QByteArray("xy"), 100 * kMs, 3);
    QCOMPARE(pacer.nextDueNs(), 100 * kMs + kByte);
}

void TestSimLogic::replyFinishesWithItsLastByte() {
    SimReplyPacer pacer;
    pacer.enqueue(counting(4), 0, 7);
    pacer.enqueue(counting(2), 0, 8);
    SimReplyPacer::Release r = pacer.take(3 * kByte);
    QVERIFY(r.finished.empty());
    r = pacer.take(5 * kByte);
    QCOMPARE(r.finished, std::vector<std::uint64_t>{7});
    r = pacer.take(6 * kByte);
    QCOMPARE(r.finished, std::vector<std::uint64_t>{8});
}

void TestSimLogic::lateTailComesLater() {
    SimReplyPacer pacer;
    pacer.enqueue(counting(7), 0, 1, 3, 400 * kMs);
    QCOMPARE(pacer.take(100 * kMs).bytes, counting(4));
    QCOMPARE(pacer.nextDueNs(), 5 * kByte + 400 * kMs);
    QVERIFY(pacer.take(400 * kMs).bytes.isEmpty());
    const SimReplyPacer::Release tail = pacer.take(401 * kMs + 7 * kByte);
    QCOMPARE(tail.bytes, counting(7).mid(4));
    QCOMPARE(tail.finished, std::vector<std::uint64_t>{1});
}

void TestSimLogic::usbHoldsShortReply() {
    SimReplyPacer pacer;
    pacer.setUsbLatency(true);
    pacer.enqueue(counting(10), 0, 1);
    const QList<Release> releases = drain(pacer);
    QCOMPARE(releases.size(), 1);
    QCOMPARE(releases[0].bytes, counting(10));
    QCOMPARE(releases[0].atNs, kByte + SimReplyPacer::kUsbLatencyNs);
}

void TestSimLogic::usbLongReplyInPackets() {
    SimReplyPacer pacer;
    pacer.setUsbLatency(true);
    pacer.enqueue(counting(481), 0, 1);
    const QList<Release> releases = drain(pacer);
    QCOMPARE(joined(releases), counting(481));
    QVERIFY(releases.size() > 1);
    std::int64_t previous = 0;
    for (const Release& r : releases) {
        QVERIFY(r.bytes.size() <= SimReplyPacer::kUsbPacketBytes);
        QVERIFY(r.atNs > previous);
        previous = r.atNs;
    }
    // Nothing comes before the latency timer, and the last packet not before the line is done.
    QVERIFY(releases.first().atNs >= SimReplyPacer::kUsbLatencyNs);
    QVERIFY(releases.last().atNs >= 481 * kByte);
}

void TestSimLogic::usbOffReleasesHeldPacket() {
    SimReplyPacer pacer;
    pacer.setUsbLatency(true);
    pacer.enqueue(counting(10), 0, 1);
    QVERIFY(pacer.take(10 * kByte).bytes.isEmpty());
    pacer.setUsbLatency(false);
    QCOMPARE(pacer.take(10 * kByte).bytes, counting(10));
}

void TestSimLogic::parserSplitsCommands_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QList<QByteArray>>("commands");
    const auto b = [](std::initializer_list<int> v) {
        QByteArray out;
        for (int x : v)
            out.append(static_cast<char>(x));
        return out;
    };
    QTest::newRow("three queries") << b({kIdentify, kReadImage, kRealTimeFrame})
                                   << QList<QByteArray>{b({kIdentify}), b({kReadImage}), b({kRealTimeFrame})};
    QTest::newRow("set with command-like operands then a query")
        << b({kSetParameter, 0xFF, 0xFD, kRealTimeFrame})
        << QList<QByteArray>{b({kSetParameter, 0xFF, 0xFD}), b({kRealTimeFrame})};
    QTest::newRow("map points with 0 operands")
        << b({kMapPointE8, 0, 0, kMapPointDE, 0, 0, kMapPointD4, 1, 2, kMapPointCA, 3, 4})
        << QList<QByteArray>{b({kMapPointE8, 0, 0}), b({kMapPointDE, 0, 0}), b({kMapPointD4, 1, 2}),
                             b({kMapPointCA, 3, 4})};
    QTest::newRow("unknown bytes stand alone")
        << b({0x00, 0x42, kIdentify}) << QList<QByteArray>{b({0x00}), b({0x42}), b({kIdentify})};
    const QByteArray image(EmuLength::kImage, char(kIdentify));
    QTest::newRow("image of 0xFF bytes") << b({kWriteImage}) + image + b({kIdentify})
                                         << QList<QByteArray>{b({kWriteImage}) + image, b({kIdentify})};
}

void TestSimLogic::parserSplitsCommands() {
    QFETCH(QByteArray, stream);
    QFETCH(QList<QByteArray>, commands);
    SimCommandParser parser;
    QList<QByteArray> got;
    for (int i = 0; i < stream.size(); ++i) {
        if (auto cmd = parser.feed(static_cast<std::uint8_t>(stream[i]), 1000 + i)) {
            QVERIFY(cmd->complete);
            got.append(cmd->bytes);
        }
    }
    QCOMPARE(got, commands);
    QCOMPARE(parser.deadlineUs(), -1);
}

void TestSimLogic::parserGivesUpStalledImage() {
    SimCommandParser parser;
    QVERIFY(!parser.feed(kWriteImage, 1'000));
    for (int i = 0; i < 100; ++i)
        QVERIFY(!parser.feed(0x05, 2'000));
    // A slow host is still waited for.
    QVERIFY(!parser.expire(2'000 + 2'000'000));
    const auto given = parser.expire(2'000 + 60'000'000);
    QVERIFY(given);
    QVERIFY(!given->complete);
    QCOMPARE(given->bytes.size(), 101);
    QCOMPARE(given->receivedUs, 1'000);
    const auto next = parser.feed(kIdentify, 70'000'000);
    QVERIFY(next && next->bytes == QByteArray(1, char(kIdentify)));
}

void TestSimLogic::parserGivesUpStalledSet() {
    SimCommandParser parser;
    QVERIFY(!parser.feed(kSetParameter, 0));
    QVERIFY(!parser.feed(5, 0));
    QVERIFY(parser.deadlineUs() > 0);
    const auto given = parser.expire(parser.deadlineUs());
    QVERIFY(given && !given->complete);
    QCOMPARE(given->bytes.size(), 2);
}

void TestSimLogic::engineIsDeterministic() {
    const SimEngineModel a(7);
    const SimEngineModel b(7);
    const SimEngineModel other(8);
    bool differs = false;
    for (double t = 0; t < 60; t += 0.05) {
        QCOMPARE(a.frameAt(t), b.frameAt(t));
        differs = differs || a.frameAt(t) != other.frameAt(t);
    }
    QVERIFY(differs);
}

void TestSimLogic::engineFramesHaveNoZeroByte() {
    const SimEngineModel engine(1);
    for (double t = 0; t < 300; t += 0.02) {
        const QByteArray frame = engine.frameAt(t);
        QCOMPARE(frame.size(), EmuLength::kRealTimeFrame);
        QVERIFY2(!frame.contains('\0'), qPrintable(QStringLiteral("at %1 s").arg(t)));
    }
    // Out-of-range readings are clamped, never wrapped to 0.
    SimEngineModel::State wild{};
    wild.rpmHundreds = 400;
    wild.vacuumFraction = 2;
    wild.lambdaHundredths = -30;
    wild.airC = -80;
    const QByteArray frame = SimEngineModel::encode(wild);
    QCOMPARE(int(static_cast<std::uint8_t>(frame[0])), 255);
    QCOMPARE(int(static_cast<std::uint8_t>(frame[1])), 255);
    QCOMPARE(int(static_cast<std::uint8_t>(frame[3])), 1);
    QCOMPARE(int(static_cast<std::uint8_t>(frame[5])), 1);
}

void TestSimLogic::engineIdlesAndRevs() {
    const SimEngineModel engine(3);
    // In every stretch of a few seconds the engine both idles near 900 RPM and revs past 4000.
    for (double start = 0; start < 120; start += 12) {
        int idle = 0;
        int peak = 0;
        for (double t = start; t < start + 12; t += 0.02) {
            const int rpm = static_cast<std::uint8_t>(engine.frameAt(t)[0]) - 1;
            peak = std::max(peak, rpm);
            idle += (rpm >= 7 && rpm <= 11) ? 1 : 0;
        }
        QVERIFY2(peak >= 40 && peak <= 62,
                 qPrintable(QStringLiteral("peak %1 from %2 s").arg(peak).arg(start)));
        QVERIFY(idle > 200);
    }
}

void TestSimLogic::engineWarmsUp() {
    const SimEngineModel engine(1);
    const auto water = [&](double t) { return static_cast<std::uint8_t>(engine.frameAt(t)[4]) - 1; };
    QVERIFY(water(0) >= 15 && water(0) <= 25);
    QVERIFY(water(60) > water(0));
    QVERIFY(water(150) >= 80 && water(150) <= 90);
    QCOMPARE(static_cast<std::uint8_t>(engine.frameAt(30)[5]) - 21, 25); // air in C
    const int battery = static_cast<std::uint8_t>(engine.frameAt(30)[7]) - 1;
    QVERIFY(battery >= 135 && battery <= 141);
}

void TestSimLogic::engineVacuumFollowsThrottle() {
    const SimEngineModel engine(5);
    double idleVacuum = 1.0;
    double openVacuum = 0.0;
    for (double t = 0; t < 60; t += 0.02) {
        const SimEngineModel::State s = engine.stateAt(t);
        QVERIFY(s.vacuumFraction >= 0.2 && s.vacuumFraction <= 1.0);
        QVERIFY(s.injectorTenthsMs >= 20 && s.injectorTenthsMs <= 80);
        if (s.throttlePercent < 5)
            idleVacuum = std::min(idleVacuum, s.vacuumFraction);
        if (s.throttlePercent > 50)
            openVacuum = std::max(openVacuum, s.vacuumFraction);
    }
    QVERIFY(openVacuum > idleVacuum + 0.3);
}

QTEST_GUILESS_MAIN(TestSimLogic)
#include "tst_simlogic.moc"
