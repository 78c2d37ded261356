#include "EmuSimulator.h"
#include "sim_client_helpers.h"

#include "calibration/MapTable.h"
#include "calibration/SettingsFile.h"
#include "link/EmuProtocol.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

#include <sys/stat.h>

using namespace EmuCommand;

namespace {

constexpr int kWait = 5000; // generous: CI machines are slow and busy

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

QByteArray wireImage(const std::array<std::uint8_t, 481>& image) {
    return QByteArray(reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(image.size()));
}

bool linkExists(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

struct Rig {
    std::unique_ptr<EmuSimulator> sim;
    std::unique_ptr<PtyClient> client;
};

Rig startRig(SimConfig config = {}) {
    Rig rig;
    rig.sim = std::make_unique<EmuSimulator>(std::move(config));
    if (rig.sim->start())
        rig.client = std::make_unique<PtyClient>(rig.sim->devicePath());
    return rig;
}

} // namespace

class TestSimulator : public QObject {
    Q_OBJECT

  private slots:
    void identity_data();
    void identity();
    void readImageIsWholeAndPaced();
    void frameHasNoZeroByte();
    void fixedFrame();
    void setParameter_data();
    void setParameter();
    void mapPointWrite_data();
    void mapPointWrite();
    void writeImageTakesEveryByteAsData();
    void shortImageWriteChangesNothing();
    void setDuringLongReplyIsRecorded();
    void silentUnitStillApplies();
    void shortReplies_data();
    void shortReplies();
    void lateTail();
    void unplugAndReplugBehindLink();
    void unplugWithoutLink();
    void startFailsWithoutLink();
    void usbLatencyHoldsShortReply();
    void usbLatencyKeepsLongReplyIntact();
    void configuredImageIsServed();
    void baseTune_data();
    void baseTune();
    void baseTuneSerial_data();
    void baseTuneSerial();
    void toolPrintsDevicePath();
    void toolHelp();
    void toolServesSettingsFile();
    void toolRefusesBadFile();

  private:
    static QString toolPath();
};

void TestSimulator::identity_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("release");
    QTest::addColumn<QString>("letter");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("type 3, 1.13A") << 3 << 1 << 13 << "A" << bytes({1, 3, 13, 2, 1, 5, 6});
    QTest::newRow("type 2, 1.20, no letter") << 2 << 1 << 20 << "" << bytes({1, 2, 20, 1, 1, 5, 6});
    QTest::newRow("type 1, 1.13B") << 1 << 1 << 13 << "B" << bytes({1, 1, 13, 3, 1, 5, 6});
    QTest::newRow("type 6, 2.5") << 6 << 2 << 5 << "" << bytes({2, 6, 5, 1, 1, 5, 6});
}

void TestSimulator::identity() {
    QFETCH(int, type);
    QFETCH(int, version);
    QFETCH(int, release);
    QFETCH(QString, letter);
    QFETCH(QByteArray, expected);
    SimConfig config;
    config.type = type;
    config.firmwareVersion = version;
    config.firmwareRelease = release;
    if (!letter.isEmpty())
        config.releaseLetter = letter[0];
    Rig rig = startRig(config);
    QVERIFY(rig.client && rig.client->isOpen());

    QVERIFY(rig.client->send(bytes({kIdentify})));
    QCOMPARE(rig.client->read(EmuLength::kIdentity, kWait), expected);
    QCOMPARE(rig.sim->identityReply(), expected);
    QVERIFY(rig.sim->waitForCommands(1, kWait));
    QCOMPARE(rig.sim->commands().at(0).bytes, bytes({kIdentify}));
    QCOMPARE(rig.sim->commands().at(0).reply, expected);
}

void TestSimulator::readImageIsWholeAndPaced() {
    Rig rig = startRig();
    QVERIFY(rig.client && rig.client->isOpen());
    const std::int64_t sent = steadyNowUs();
    QVERIFY(rig.client->send(bytes({kReadImage})));
    std::int64_t last = 0;
    const QByteArray reply = rig.client->read(EmuLength::kImageReply, 3 * kWait, nullptr, &last);
    // 481 bytes at 19200 baud take 250 ms on the wire; nothing may come after them.
    QCOMPARE(reply.size(), EmuLength::kImageReply);
    QVERIFY(rig.client->readFor(100).isEmpty());
    QCOMPARE(reply, wireImage(EmuSimulator::baseTune(3, QStringLiteral("AB-010203-04"))));
    QVERIFY2(last - sent >= 200'000, qPrintable(QStringLiteral("took %1 us").arg(last - sent)));

    const SimCommand cmd = rig.sim->commands().at(0);
    QCOMPARE(cmd.bytes, bytes({kReadImage}));
    QCOMPARE(cmd.reply, reply);
    QVERIFY(cmd.receivedUs >= sent);
    QVERIFY(cmd.replyDoneUs - cmd.receivedUs >= 200'000);
}

void TestSimulator::frameHasNoZeroByte() {
    Rig rig = startRig();
    QVERIFY(rig.client && rig.client->isOpen());
    for (int poll = 0; poll < 5; ++poll) {
        QVERIFY(rig.client->send(bytes({kRealTimeFrame})));
        const QByteArray frame = rig.client->read(EmuLength::kRealTimeFrame, kWait);
        QCOMPARE(frame.size(), EmuLength::kRealTimeFrame);
        QVERIFY2(!frame.contains('\0'), frame.toHex(' ').constData());
        QCOMPARE(frame, rig.sim->lastFrame());
    }
    QVERIFY(rig.client->readFor(100).isEmpty());
}

void TestSimulator::fixedFrame() {
    Rig rig = startRig();
    QVERIFY(rig.client && rig.client->isOpen());
    const QByteArray fixed = bytes({31, 129, 51, 46, 86, 41, 128, 131, 61, 1});
    rig.sim->setFixedFrame(fixed);
    QVERIFY(rig.client->send(bytes({kRealTimeFrame})));
    QCOMPARE(rig.client->read(EmuLength::kRealTimeFrame, kWait), fixed);
    rig.sim->setFixedFrame(std::nullopt);
    QVERIFY(rig.client->send(bytes({kRealTimeFrame})));
    QVERIFY(rig.client->read(EmuLength::kRealTimeFrame, kWait) != fixed);
}

void TestSimulator::setParameter_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("applies");
    QTest::newRow("timing sensor 0") << 0 << 0 << true;
    QTest::newRow("trigger output internal, value 0") << 22 << 0 << true;
    QTest::newRow("map sensor 30") << 83 << 30 << true;
    QTest::newRow("serial letter 'Z'") << 98 << int('Z') << true;
    QTest::newRow("last setup id") << 100 << 254 << true;
    QTest::newRow("value 255 wraps to wire 0") << 40 << 255 << true;
    QTest::newRow("id beyond the setup block") << 101 << 7 << false;
    QTest::newRow("id 0xFF") << 255 << 7 << false;
}

void TestSimulator::setParameter() {
    QFETCH(int, id);
    QFETCH(int, value);
    QFETCH(bool, applies);
    Rig rig = startRig();
    QVERIFY(rig.client && rig.client->isOpen());
    auto expected = rig.sim->image();
    if (applies)
        expected[id] = static_cast<std::uint8_t>(value + 1);

    QVERIFY(rig.client->send(bytes({kSetParameter, id, value})));
    QVERIFY(rig.sim->waitForCommands(1, kWait));
    QCOMPARE(rig.sim->commands().size(), 1);
    QCOMPARE(rig.sim->commands().at(0).bytes, bytes({kSetParameter, id, value}));
    QVERIFY(rig.sim->commands().at(0).reply.isEmpty());
    QVERIFY(rig.sim->image() == expected);
}

void TestSimulator::mapPointWrite_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("offset");
    for (const MapInfo& map : mapTable()) {
        // Timing point 100 shares its id with vacuum point 1 (rows below).
        const int last = map.id == MapId::Timing ? map.points - 1 : map.points;
        for (int point : {1, last}) {
            const int value = map.plainOffset + (point == 1 ? 3 : 0);
            QTest::addRow("%s point %d", map.name, point)
                << int(map.pointCommand) << map.firstPointId + point - 1 << value
                << map.imageOffset + point - 1;
        }
    }
    // Messages a tuner's edits produce, with the offsets of the image layout.
    QTest::newRow("timing point 30 to 24 degrees") << int(kMapPointE8) << 30 << 24 << 130;
    QTest::newRow("timing point 1 to 0 degrees") << int(kMapPointE8) << 1 << 0 << 101;
    QTest::newRow("shared id 100 is vacuum point 1") << int(kMapPointE8) << 100 << 20 << 201;
    QTest::newRow("vacuum point 32 to -15 degrees") << int(kMapPointE8) << 131 << 0 << 232;
    QTest::newRow("fuel vacuum point 1 to +50 %") << int(kMapPointDE) << 0 << 150 << 233;
    QTest::newRow("cruise point 1") << int(kMapPointDE) << 64 << 90 << 297;
    QTest::newRow("voltage point 16") << int(kMapPointD4) << 63 << 110 << 392;
    QTest::newRow("high rpm point 1") << int(kMapPointCA) << 32 << 105 << 425;
    QTest::newRow("air timing last point") << int(kMapPointCA) << 87 << 95 << 480;
    QTest::newRow("value 255 wraps to wire 0") << int(kMapPointD4) << 0 << 255 << 329;
}

void TestSimulator::mapPointWrite() {
    QFETCH(int, command);
    QFETCH(int, id);
    QFETCH(int, value);
    QFETCH(int, offset);
    Rig rig = startRig();
    QVERIFY(rig.client && rig.client->isOpen());
    auto expected = rig.sim->image();
    expected[offset] = static_cast<std::uint8_t>(value + 1);

    QVERIFY(rig.client->send(bytes({command, id, value})));
    QVERIFY(rig.sim->waitForCommands(1, kWait));
    const auto image = rig.sim->image();
    for (int k = 0; k < 482; ++k)
        QVERIFY2(
            image[k] == expected[k],
            qPrintable(QStringLiteral("offset %1: %2, expected %3").arg(k).arg(image[k]).arg(expected[k])));
}

void TestSimulator::writeImageTakesEveryByteAsData() {
    Rig rig = startRig();
    QVERIFY(rig.client && rig.client->isOpen());
    QByteArray plain(EmuLength::kImage, '\0');
    for (int k = 0; k < plain.size(); ++k)
        plain[k] = static_cast<char>((k * 7) & 0xFF);
    // Command bytes and 0 inside the data must not be taken as commands.
    plain[0] = char(0x00);
    plain[1] = char(kIdentify);
    plain[2] = char(kReadImage);
    plain[3] = char(kWriteImage);
    plain[4] = char(kSetParameter);
    plain[480] = char(0xFF);
    plain[481] = 56;

    QVERIFY(rig.client->send(bytes({kWriteImage})));
    QTest::qWait(EmuPause::kWriteImageGap);
    QVERIFY(rig.client->send(plain));
    QVERIFY(rig.sim->waitForCommands(1, kWait));
    QVERIFY(rig.client->readFor(300).isEmpty());

    const QList<SimCommand> cmds = rig.sim->commands();
    QCOMPARE(cmds.size(), 1);
    QCOMPARE(cmds[0].bytes.size(), 1 + EmuLength::kImage);
    QCOMPARE(cmds[0].bytes, bytes({kWriteImage}) + plain);
    QVERIFY(cmds[0].reply.isEmpty());
    const auto image = rig.sim->image();
    for (int k = 0; k < EmuLength::kImage; ++k)
        QCOMPARE(int(image[k]), (static_cast<std::uint8_t>(plain[k]) + 1) & 0xFF);
    QCOMPARE(int(image[481]), 57);

    // The unit now serves the new image.
    QVERIFY(rig.client->send(bytes({kReadImage})));
    const QByteArray reply = rig.client->read(EmuLength::kImageReply, 3 * kWait);
    QCOMPARE(reply, QByteArray(reinterpret_cast<const char*>(image.data()), EmuLength::kImageReply));
}

void TestSimulator::shortImageWriteChangesNothing() {
    Rig rig = startRig();
    QVERIFY(rig.client && rig.client->isOpen());
    const auto before = rig.sim->image();
    QVERIFY(rig.client->send(bytes({kWriteImage}) + QByteArray(100, '\x05')));
    QVERIFY(rig.sim->waitForCommands(1, 4 * kWait));
    const SimCommand cmd = rig.sim->commands().at(0);
    QCOMPARE(cmd.bytes.size(), 101);
    QCOMPARE(static_cast<std::uint8_t>(cmd.bytes[0]), kWriteImage);
    QVERIFY(rig.sim->image() == before);

    // The unit listens for commands again.
    QVERIFY(rig.client->send(bytes({kIdentify})));
    QCOMPARE(rig.client->read(EmuLength::kIdentity, kWait), rig.sim->identityReply());
}

void TestSimulator::setDuringLongReplyIsRecorded() {
    Rig rig = startRig();
    QVERIFY(rig.client && rig.client->isOpen());
    // The last image byte comes 2 s late, so the reply is surely still going out.
    rig.sim->setLateTail(1, 2000);
    QVERIFY(rig.client->send(bytes({kReadImage})));
    const QByteArray head = rig.client->read(50, kWait);
    QCOMPARE(head.size(), 50);
    QVERIFY(rig.client->send(bytes({kSetParameter, 38, 0})));
    QVERIFY(rig.sim->waitForCommands(2, kWait));

    const QList<SimCommand> cmds = rig.sim->commands();
    QCOMPARE(cmds[1].bytes, bytes({kSetParameter, 38, 0}));
    QVERIFY2(cmds[0].replyDoneUs == 0 || cmds[1].receivedUs < cmds[0].replyDoneUs,
             "the set waited for the reply to finish");
    QCOMPARE(int(rig.sim->image()[38]), 1);

    const QByteArray rest = rig.client->read(EmuLength::kImageReply - 50, 3 * kWait);
    QCOMPARE(head + rest, cmds[0].reply);
    QCOMPARE((head + rest).size(), EmuLength::kImageReply);
}

void TestSimulator::silentUnitStillApplies() {
    Rig rig = startRig();
    QVERIFY(rig.client && rig.client->isOpen());
    rig.sim->setSilent(true);
    QVERIFY(rig.client->send(bytes({kIdentify})));
    QVERIFY(rig.client->send(bytes({kRealTimeFrame})));
    QVERIFY(rig.client->send(bytes({kSetParameter, 80, 6})));
    QVERIFY(rig.sim->waitForCommands(3, kWait));
    QVERIFY(rig.client->readFor(300).isEmpty());
    for (const SimCommand& cmd : rig.sim->commands()) {
        QVERIFY(cmd.reply.isEmpty());
        QCOMPARE(cmd.replyDoneUs, 0);
    }
    QCOMPARE(int(rig.sim->image()[80]), 7);

    rig.sim->setSilent(false);
    QVERIFY(rig.client->send(bytes({kIdentify})));
    QCOMPARE(rig.client->read(EmuLength::kIdentity, kWait), rig.sim->identityReply());
}

void TestSimulator::shortReplies_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<int>("wholeLength");
    QTest::newRow("image cut to 100") << int(kReadImage) << 100 << 481;
    QTest::newRow("image cut to 0") << int(kReadImage) << 0 << 481;
    QTest::newRow("identity cut to 3") << int(kIdentify) << 3 << 7;
    QTest::newRow("frame cut to 9") << int(kRealTimeFrame) << 9 << 10;
    QTest::newRow("frame shorter than the cut") << int(kRealTimeFrame) << 20 << 10;
}

void TestSimulator::shortReplies() {
    QFETCH(int, command);
    QFETCH(int, maxBytes);
    QFETCH(int, wholeLength);
    Rig rig = startRig();
    QVERIFY(rig.client && rig.client->isOpen());
    rig.sim->setFixedFrame(bytes({31, 129, 51, 46, 86, 41, 128, 131, 61, 1}));
    rig.sim->setShortReplies(maxBytes);
    QVERIFY(rig.client->send(bytes({command})));
    QVERIFY(rig.sim->waitForCommands(1, kWait));
    QByteArray got = rig.client->read(std::min(maxBytes, wholeLength), kWait);
    got += rig.client->readFor(200);

    // What a whole reply would have been, from the same unit with the fault off.
    rig.sim->setShortReplies(-1);
    QVERIFY(rig.client->send(bytes({command})));
    const QByteArray whole = rig.client->read(wholeLength, 3 * kWait);
    QCOMPARE(whole.size(), wholeLength);
    QCOMPARE(got, whole.left(maxBytes));
    QCOMPARE(rig.sim->commands().at(0).reply, got);
}

void TestSimulator::lateTail() {
    Rig rig = startRig();
    QVERIFY(rig.client && rig.client->isOpen());
    rig.sim->setLateTail(3, 400);
    QVERIFY(rig.client->send(bytes({kIdentify})));
    std::int64_t headUs = 0;
    const QByteArray head = rig.client->read(4, kWait, nullptr, &headUs);
    QCOMPARE(head.size(), 4);
    std::int64_t tailUs = 0;
    const QByteArray tail = rig.client->read(3, kWait, &tailUs);
    QCOMPARE(head + tail, rig.sim->identityReply());
    QVERIFY2(tailUs - headUs >= 300'000, qPrintable(QStringLiteral("tail after %1 us").arg(tailUs - headUs)));
}

void TestSimulator::unplugAndReplugBehindLink() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    SimConfig config;
    config.linkPath = dir.filePath(QStringLiteral("ttyEMU0"));
    Rig rig = startRig(config);
    QVERIFY(rig.client && rig.client->isOpen());
    QCOMPARE(rig.sim->devicePath(), config.linkPath);
    QCOMPARE(QFileInfo(config.linkPath).symLinkTarget(), rig.sim->ptyPath());
    QVERIFY(rig.client->send(bytes({kIdentify})));
    QCOMPARE(rig.client->read(EmuLength::kIdentity, kWait).size(), EmuLength::kIdentity);

    rig.sim->unplug();
    QVERIFY(!rig.sim->running());
    QVERIFY(rig.client->waitForHangUp(kWait));
    QVERIFY(!linkExists(config.linkPath));
    PtyClient gone(config.linkPath);
    QVERIFY(!gone.isOpen());

    QVERIFY(rig.sim->replug());
    QVERIFY(rig.sim->running());
    QCOMPARE(QFileInfo(config.linkPath).symLinkTarget(), rig.sim->ptyPath());
    PtyClient again(config.linkPath);
    QVERIFY(again.isOpen());
    QVERIFY(again.send(bytes({kIdentify})));
    QCOMPARE(again.read(EmuLength::kIdentity, kWait), rig.sim->identityReply());

    rig.sim->stop();
    QVERIFY(!linkExists(config.linkPath));
}

void TestSimulator::unplugWithoutLink() {
    Rig rig = startRig();
    QVERIFY(rig.client && rig.client->isOpen());
    rig.sim->unplug();
    QVERIFY(rig.client->waitForHangUp(kWait));
    QVERIFY(!rig.client->send(bytes({kIdentify})));
}

void TestSimulator::startFailsWithoutLink() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    SimConfig config;
    config.linkPath = dir.filePath(QStringLiteral("no/such/dir/ttyEMU0"));
    EmuSimulator sim(config);
    QVERIFY(!sim.start());
    QVERIFY(!sim.running());
}

void TestSimulator::usbLatencyHoldsShortReply() {
    SimConfig config;
    config.usbLatency = true;
    Rig rig = startRig(config);
    QVERIFY(rig.client && rig.client->isOpen());
    for (int poll = 0; poll < 3; ++poll) {
        const std::int64_t sent = steadyNowUs();
        QVERIFY(rig.client->send(bytes({kRealTimeFrame})));
        std::int64_t first = 0;
        const QByteArray frame = rig.client->read(EmuLength::kRealTimeFrame, kWait, &first);
        QCOMPARE(frame.size(), EmuLength::kRealTimeFrame);
        QCOMPARE(frame, rig.sim->lastFrame());
        // One byte time plus the 16 ms latency timer, less scheduling slack.
        QVERIFY2(first - sent >= 14'000,
                 qPrintable(QStringLiteral("first byte after %1 us").arg(first - sent)));
    }
}

void TestSimulator::usbLatencyKeepsLongReplyIntact() {
    Rig rig = startRig();
    QVERIFY(rig.client && rig.client->isOpen());
    rig.sim->setUsbLatency(true);
    QVERIFY(rig.client->send(bytes({kReadImage})));
    const QByteArray reply = rig.client->read(EmuLength::kImageReply, 3 * kWait);
    QVERIFY(rig.client->readFor(100).isEmpty());
    QCOMPARE(reply, wireImage(EmuSimulator::baseTune(3, QStringLiteral("AB-010203-04"))));
}

void TestSimulator::configuredImageIsServed() {
    std::array<std::uint8_t, 481> image{};
    for (int k = 0; k < 481; ++k)
        image[k] = static_cast<std::uint8_t>(1 + k % 250);
    SimConfig config;
    config.image = image;
    Rig rig = startRig(config);
    QVERIFY(rig.client && rig.client->isOpen());
    QVERIFY(rig.client->send(bytes({kReadImage})));
    QCOMPARE(rig.client->read(EmuLength::kImageReply, 3 * kWait), wireImage(image));

    image[5] = 77;
    rig.sim->setImage(image);
    QVERIFY(rig.client->send(bytes({kReadImage})));
    QCOMPARE(rig.client->read(EmuLength::kImageReply, 3 * kWait), wireImage(image));
}

void TestSimulator::baseTune_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("hasTiming");
    QTest::addColumn<bool>("hasFuel");
    QTest::newRow("type 1") << 1 << true << false;
    QTest::newRow("type 2") << 2 << false << true;
    QTest::newRow("type 3") << 3 << true << true;
    QTest::newRow("type 5") << 5 << true << true;
    QTest::newRow("type 6") << 6 << true << true;
}

void TestSimulator::baseTune() {
    QFETCH(int, type);
    QFETCH(bool, hasTiming);
    QFETCH(bool, hasFuel);
    const auto tune = EmuSimulator::baseTune(type, QStringLiteral("AB-010203-04"));
    for (int k = 0; k < 481; ++k)
        QVERIFY2(tune[k] != 0, qPrintable(QStringLiteral("offset %1 is 0").arg(k)));
    QCOMPARE(int(tune[80]), 5);   // 4 cylinders
    QCOMPARE(int(tune[81]), 81);  // 8000 RPM
    QCOMPARE(int(tune[83]), 11);  // map sensor 10
    QCOMPARE(int(tune[84]), 76);  // limiter 7500 RPM, below the range
    QCOMPARE(int(tune[22]), 1);   // trigger output "Internal"
    QCOMPARE(int(tune[13]), 255); // a parameter this unit lacks

    // Point i of the timing map is i x 100 RPM.
    const auto degrees = [&](int rpmHundreds) { return int(tune[100 + rpmHundreds]) - 1; };
    int peak = 0;
    for (int i = 1; i <= 100; ++i) {
        peak = std::max(peak, degrees(i));
        if (hasTiming && i > 1)
            QVERIFY2(degrees(i) >= degrees(i - 1),
                     qPrintable(QStringLiteral("timing falls at point %1").arg(i)));
    }
    if (hasTiming) {
        QVERIFY(degrees(9) >= 5 && degrees(9) <= 15);
        QVERIFY(peak >= 30 && peak <= 34);
        QCOMPARE(degrees(60), peak);
    }
    QVERIFY(peak <= 45);
    // Vacuum advance a few degrees (plain = degrees + 15); fuel and corrections near 0 %.
    for (int k = 201; k < 233; ++k)
        QVERIFY(tune[k] - 16 >= 0 && tune[k] - 16 <= 10);
    for (int k = 233; k < 481; ++k)
        QVERIFY2(std::abs(tune[k] - 101) <= 25,
                 qPrintable(QStringLiteral("offset %1: %2").arg(k).arg(tune[k])));
    // Cold water asks for more fuel than warm.
    if (hasFuel)
        QVERIFY(tune[329] > tune[329 + 23]);
}

void TestSimulator::baseTuneSerial_data() {
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QByteArray>("expected"); // wire bytes at 94..99
    QTest::newRow("AB-010203-04") << "AB-010203-04" << bytes({2, 3, 4, 5, 'A' + 1, 'B' + 1});
    QTest::newRow("ZX-990017-00") << "ZX-990017-00" << bytes({100, 1, 18, 1, 'Z' + 1, 'X' + 1});
    QTest::newRow("malformed keeps the default") << "nonsense" << bytes({2, 3, 4, 5, 'A' + 1, 'B' + 1});
}

void TestSimulator::baseTuneSerial() {
    QFETCH(QString, serial);
    QFETCH(QByteArray, expected);
    const auto tune = EmuSimulator::baseTune(3, serial);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(tune.data()) + 94, 6), expected);
}

QString TestSimulator::toolPath() {
    QString dir = qEnvironmentVariable("EMU_BIN_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath();
    return dir + QStringLiteral("/emu-sim");
}

void TestSimulator::toolPrintsDevicePath() {
    const QString tool = toolPath();
    if (!QFileInfo::exists(tool))
        QFAIL(qPrintable(QStringLiteral("%1 is missing: build the emu-sim target").arg(tool)));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("ttyEMU3"));
    QProcess proc;
    proc.start(tool, {QStringLiteral("--type"), QStringLiteral("5"), QStringLiteral("--firmware"),
                      QStringLiteral("1.20"), QStringLiteral("--letter"), QStringLiteral("B"),
                      QStringLiteral("--link"), link});
    QVERIFY(proc.waitForStarted(kWait));
    while (!proc.canReadLine())
        QVERIFY2(proc.waitForReadyRead(2 * kWait), "no device path printed");
    const QString first = QString::fromLocal8Bit(proc.readLine()).trimmed();
    QCOMPARE(first, link);
    QVERIFY(QFileInfo::exists(first));

    PtyClient client(first);
    QVERIFY(client.isOpen());
    QVERIFY(client.send(bytes({kIdentify})));
    QCOMPARE(client.read(EmuLength::kIdentity, kWait), bytes({1, 5, 20, 3, 1, 5, 6}));

    proc.terminate();
    QVERIFY(proc.waitForFinished(2 * kWait));
    QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(proc.exitCode(), 0);
    QVERIFY(!linkExists(link));
    QVERIFY(client.waitForHangUp(kWait));
}

void TestSimulator::toolHelp() {
    const QString tool = toolPath();
    if (!QFileInfo::exists(tool))
        QFAIL(qPrintable(QStringLiteral("%1 is missing: build the emu-sim target").arg(tool)));
    QProcess proc;
    proc.start(tool, {QStringLiteral("--help")});
    QVERIFY(proc.waitForFinished(2 * kWait));
    QCOMPARE(proc.exitCode(), 0);
    const QByteArray usage = proc.readAllStandardOutput();
    for (const char* option :
         {"--type", "--firmware", "--letter", "--serial", "--file", "--usb-latency", "--link", "--silent"})
        QVERIFY2(usage.contains(option), option);
}

void TestSimulator::toolServesSettingsFile() {
    const QString tool = toolPath();
    if (!QFileInfo::exists(tool))
        QFAIL(qPrintable(QStringLiteral("%1 is missing: build the emu-sim target").arg(tool)));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    auto image = EmuSimulator::baseTune(3, QStringLiteral("CD-111213-14"));
    image[130] = 25; // timing point 30 at 24 degrees
    image[233] = 151;
    EmuIdentity identity;
    identity.bytes = {1, 3, 13, 1, 1, 4, 4, 0};
    const QByteArray text = SettingsFile::write(
        identity, {QStringLiteral("Mini"), QStringLiteral("Cooper"), QStringLiteral("1275")}, image.data());
    const QString file = dir.filePath(QStringLiteral("tune.EMU"));
    QString error;
    QVERIFY2(SettingsFile::saveToFile(file, text, &error), qPrintable(error));

    QProcess proc;
    proc.start(tool, {QStringLiteral("--file"), file});
    QVERIFY(proc.waitForStarted(kWait));
    while (!proc.canReadLine())
        QVERIFY2(proc.waitForReadyRead(2 * kWait), proc.readAllStandardError().constData());
    PtyClient client(QString::fromLocal8Bit(proc.readLine()).trimmed());
    QVERIFY(client.isOpen());
    QVERIFY(client.send(bytes({kReadImage})));
    QCOMPARE(client.read(EmuLength::kImageReply, 3 * kWait), wireImage(image));
    proc.terminate();
    QVERIFY(proc.waitForFinished(2 * kWait));
    QCOMPARE(proc.exitCode(), 0);
}

void TestSimulator::toolRefusesBadFile() {
    const QString tool = toolPath();
    if (!QFileInfo::exists(tool))
        QFAIL(qPrintable(QStringLiteral("%1 is missing: build the emu-sim target").arg(tool)));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("bad.EMU"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("not a settings file\r\n");
    out.close();

    QProcess proc;
    proc.start(tool, {QStringLiteral("--file"), file});
    QVERIFY(proc.waitForFinished(2 * kWait));
    QVERIFY(proc.exitCode() != 0);
    QVERIFY(proc.readAllStandardOutput().isEmpty());
    QVERIFY(proc.readAllStandardError().contains("Incorrect .EMU file version"));
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
