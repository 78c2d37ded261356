// What the pty-level tests cannot show: the pacer's exact schedule and the USB packet rule on a
// made-up clock, the parser giving up on a stalled command, and the engine model over minutes.

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

int plain(const QByteArray& frame, int i) {
    return static_cast<std::uint8_t>(frame[i]) - 1;
}

} // namespace

class TestSimLogic : public QObject {
    Q_OBJECT

  private slots:
    void repliesArePacedAndQueued();
    void usbPacketRule();
    void parserGivesUpStalledCommand_data();
    void parserGivesUpStalledCommand();
    void engineFramesAreValidAndRepeatable();
    void engineIdlesRevsAndWarms();
};

void TestSimLogic::repliesArePacedAndQueued() {
    SimReplyPacer pacer;
    pacer.enqueue(counting(10), 0, 1);
    pacer.enqueue(QByteArray("abc"), 1 * kMs, 2); // asked for while the first is still going out
    // One byte every 10 bit times: nothing before the first is through, nine by 5 ms.
    QVERIFY(pacer.take(kByte - 1).bytes.isEmpty());
    QCOMPARE(pacer.take(5 * kMs).bytes, counting(9));
    SimReplyPacer::Release r = pacer.take(11 * kByte - 1);
    QCOMPARE(r.bytes, counting(10).mid(9));
    QCOMPARE(r.finished, std::vector<std::uint64_t>{1});
    // The second reply follows the first on the line.
    r = pacer.take(11 * kByte);
    QCOMPARE(r.bytes, QByteArray("a"));
    QVERIFY(r.finished.empty());
    r = pacer.take(13 * kByte);
    QCOMPARE(r.bytes, QByteArray("bc"));
    QCOMPARE(r.finished, std::vector<std::uint64_t>{2});
    QVERIFY(pacer.idle());
    // A reply asked for after the line has gone quiet starts then.
    pacer.enqueue(QByteArray("xy"), 100 * kMs, 3);
    QCOMPARE(pacer.nextDueNs(), 100 * kMs + kByte);
}

void TestSimLogic::usbPacketRule() {
    // A short reply is held whole until the latency timer fires, 16 ms after its first byte came.
    SimReplyPacer pacer;
    pacer.setUsbLatency(true);
    pacer.enqueue(counting(10), 0, 1);
    const std::int64_t due = kByte + SimReplyPacer::kUsbLatencyNs;
    QVERIFY(pacer.take(due - 1).bytes.isEmpty());
    QCOMPARE(pacer.nextDueNs(), due);
    QCOMPARE(pacer.take(due).bytes, counting(10));
    // Switching the model off lets a held packet go at once.
    pacer.enqueue(counting(10), 100 * kMs, 2);
    QVERIFY(pacer.take(100 * kMs + 10 * kByte).bytes.isEmpty());
    pacer.setUsbLatency(false);
    QCOMPARE(pacer.take(100 * kMs + 10 * kByte).bytes, counting(10));

    // A long reply comes in packets of at most 62 bytes, none before the timer or the line allow.
    SimReplyPacer packets;
    packets.setUsbLatency(true);
    packets.enqueue(counting(481), 0, 3);
    QByteArray all;
    std::int64_t previous = 0;
    for (std::int64_t at = packets.nextDueNs(); at >= 0; at = packets.nextDueNs()) {
        const QByteArray packet = packets.take(at).bytes;
        if (packet.isEmpty())
            continue;
        QVERIFY(packet.size() <= SimReplyPacer::kUsbPacketBytes);
        QVERIFY(at > previous && at >= SimReplyPacer::kUsbLatencyNs);
        QVERIFY(at >= (all.size() + packet.size()) * kByte);
        previous = at;
        all += packet;
    }
    QCOMPARE(all, counting(481));
}

void TestSimLogic::parserGivesUpStalledCommand_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("operands"); // that came before the host fell silent
    QTest::addColumn<qint64>("stillWaitedUs");
    QTest::newRow("image write") << int(kWriteImage) << 100 << qint64(2'000'000); // a slow host is waited for
    QTest::newRow("set message") << int(kSetParameter) << 1 << qint64(500'000);
}

void TestSimLogic::parserGivesUpStalledCommand() {
    QFETCH(int, command);
    QFETCH(int, operands);
    QFETCH(qint64, stillWaitedUs);
    // The operands trickle in over 2 s; the quiet spell counts from the last of them.
    constexpr std::int64_t kLastUs = 2'000'000;
    SimCommandParser parser;
    QVERIFY(!parser.feed(std::uint8_t(command), 1'000));
    for (int i = 0; i < operands; ++i) // operands that look like commands are data
        QVERIFY(!parser.feed(kIdentify, 1'000 + (kLastUs - 1'000) * (i + 1) / operands));
    QVERIFY(!parser.expire(kLastUs + stillWaitedUs));
    const auto given = parser.expire(kLastUs + 60'000'000);
    QVERIFY(given && !given->complete);
    QCOMPARE(given->bytes, QByteArray(1, char(command)) + QByteArray(operands, char(kIdentify)));
    QCOMPARE(given->receivedUs, 1'000);
    QCOMPARE(parser.deadlineUs(), -1);
    // The next byte starts a new command.
    const auto next = parser.feed(kIdentify, 70'000'000);
    QVERIFY(next && next->complete && next->bytes == QByteArray(1, char(kIdentify)));
}

void TestSimLogic::engineFramesAreValidAndRepeatable() {
    // Five minutes of frames: never a 0 byte, and the same seed gives the same frames.
    const SimEngineModel engine(1);
    const SimEngineModel twin(1);
    for (double t = 0; t < 300; t += 0.02) {
        const QByteArray frame = engine.frameAt(t);
        QCOMPARE(frame.size(), EmuLength::kRealTimeFrame);
        QVERIFY2(!frame.contains('\0'), qPrintable(QStringLiteral("at %1 s").arg(t)));
        QCOMPARE(frame, twin.frameAt(t));
    }
    // Out-of-range readings are clamped, never wrapped to 0.
    SimEngineModel::State wild{};
    wild.rpmHundreds = 400;
    wild.vacuumFraction = 2;
    wild.lambdaHundredths = -30;
    wild.airC = -80;
    const QByteArray frame = SimEngineModel::encode(wild);
    QCOMPARE(QList<int>({plain(frame, 0), plain(frame, 1), plain(frame, 3), plain(frame, 5)}),
             QList<int>({254, 254, 0, 0}));
}

void TestSimLogic::engineIdlesRevsAndWarms() {
    const SimEngineModel engine(3);
    // In every 12 s the engine both idles near 900 RPM and revs past 4000, and the vacuum
    // follows the throttle.
    double idleVacuum = 1.0;
    double openVacuum = 0.0;
    for (double start = 0; start < 120; start += 12) {
        int idle = 0;
        int peak = 0;
        for (double t = start; t < start + 12; t += 0.02) {
            const int rpm = plain(engine.frameAt(t), 0);
            peak = std::max(peak, rpm);
            idle += (rpm >= 7 && rpm <= 11) ? 1 : 0;
            const SimEngineModel::State s = engine.stateAt(t);
            idleVacuum = s.throttlePercent < 5 ? std::min(idleVacuum, s.vacuumFraction) : idleVacuum;
            openVacuum = s.throttlePercent > 50 ? std::max(openVacuum, s.vacuumFraction) : openVacuum;
        }
        QVERIFY2(peak >= 40 && peak <= 62,
                 qPrintable(QStringLiteral("peak %1 from %2 s").arg(peak).arg(start)));
        QVERIFY(idle > 200);
    }
    QVERIFY(openVacuum > idleVacuum + 0.3);
    // The water warms from cold.
    const auto water = [&](double t) { return plain(engine.frameAt(t), 4); };
    QVERIFY(water(0) >= 15 && water(0) <= 25);
    QVERIFY(water(60) > water(0));
    QVERIFY(water(150) >= 80 && water(150) <= 90);
}

QTEST_GUILESS_MAIN(TestSimLogic)
#include "tst_simlogic.moc"
