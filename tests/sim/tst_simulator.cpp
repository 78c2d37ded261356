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

QByteArray baseTuneReply() {
    return wireImage(EmuSimulator::baseTune(3, QStringLiteral("AB-010203-04")));
}

bool linkExists(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

QString toolPath() {
    QString dir = qEnvironmentVariable("EMU_BIN_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath();
    return dir + QStringLiteral("/emu-sim");
}

} // namespace

class TestSimulator : public QObject {
    Q_OBJECT

  private slots:
    void init() { QVERIFY(start()); }

    void identity_data();
    void identity();
    void readImageIsWholeAndPaced();
    void framesFromTheModelOrFixed();
    void messagesChangeTheImage_data();
    void messagesChangeTheImage();
    void imageWritesWholeOrNotAtAll();
    void setDuringLongReplyHasItsLateTail();

    void faultsCutOrDropReplies_data();
    void faultsCutOrDropReplies();
    void unplugAndReplugBehindLink();
    void usbLatencyHoldsShortReplies();

    void baseTune_data();
    void baseTune();
    void toolRunsAUnitOrRefusesItsFile();

  private:
    // A fresh simulator with a plain client on its device.
    bool start(SimConfig config = {}) {
        client_.reset();
        sim_ = std::make_unique<EmuSimulator>(std::move(config));
        client_ = std::make_unique<PtyClient>(sim_->start() ? sim_->devicePath() : QString());
        return client_->isOpen();
    }

    std::unique_ptr<EmuSimulator> sim_;
    std::unique_ptr<PtyClient> client_;
};

void TestSimulator::identity_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("release");
    QTest::addColumn<QString>("letter");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("type 3, 1.13A") << 3 << 1 << 13 << "A" << bytes({1, 3, 13, 2, 1, 5, 6});
    QTest::newRow("type 1, 1.13B") << 1 << 1 << 13 << "B" << bytes({1, 1, 13, 3, 1, 5, 6});
    QTest::newRow("type 6, 2.5, no letter") << 6 << 2 << 5 << "" << bytes({2, 6, 5, 1, 1, 5, 6});
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
    QVERIFY(start(config));

    QVERIFY(client_->send(bytes({kIdentify})));
    QCOMPARE(client_->read(EmuLength::kIdentity, kWait), expected);
    QCOMPARE(sim_->identityReply(), expected);
}

void TestSimulator::readImageIsWholeAndPaced() {
    const std::int64_t sent = steadyNowUs();
    QVERIFY(client_->send(bytes({kReadImage})));
    std::int64_t last = 0;
    const QByteArray reply = client_->read(kImageReplySize, 3 * kWait, nullptr, &last);
    // 481 bytes at 19200 baud take 250 ms on the wire; nothing may come after them.
    QCOMPARE(reply.size(), kImageReplySize);
    QVERIFY(client_->readFor(100).isEmpty());
    QCOMPARE(reply, baseTuneReply());
    QVERIFY2(last - sent >= 200'000, qPrintable(QStringLiteral("took %1 us").arg(last - sent)));

    const SimCommand cmd = sim_->commands().at(0);
    QCOMPARE(cmd.bytes, bytes({kReadImage}));
    QCOMPARE(cmd.reply, reply);
    QVERIFY(cmd.receivedUs >= sent);
    QVERIFY(cmd.replyDoneUs - cmd.receivedUs >= 200'000);
}

void TestSimulator::framesFromTheModelOrFixed() {
    const QByteArray fixed = bytes({31, 129, 51, 46, 86, 41, 128, 131, 61, 1});
    for (int poll = 0; poll < 5; ++poll) {
        // Three frames of the engine model, one fixed frame, then the model again.
        if (poll == 3 || poll == 4)
            sim_->setFixedFrame(poll == 3 ? std::optional(fixed) : std::nullopt);
        QVERIFY(client_->send(bytes({kRealTimeFrame})));
        const QByteArray frame = client_->read(EmuLength::kRealTimeFrame, kWait);
        QCOMPARE(frame.size(), EmuLength::kRealTimeFrame);
        QVERIFY2(!frame.contains('\0'), frame.toHex(' ').constData());
        QCOMPARE(frame, sim_->lastFrame());
        QCOMPARE(frame == fixed, poll == 3);
    }
    QVERIFY(client_->readFor(100).isEmpty());
}

void TestSimulator::messagesChangeTheImage_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("offset"); // -1: the image stays as it was
    QTest::newRow("set timing sensor 0") << int(kSetParameter) << 0 << 0 << 0;
    QTest::newRow("set the last setup id") << int(kSetParameter) << 100 << 9 << 100;
    QTest::newRow("set value 255 wraps to wire 0") << int(kSetParameter) << 40 << 255 << 40;
    QTest::newRow("set id beyond the setup block") << int(kSetParameter) << 101 << 7 << -1;
    QTest::newRow("set id 0xFF") << int(kSetParameter) << 255 << 7 << -1;
    for (const MapInfo& map : mapTable()) {
        // Timing point 100 shares its id with vacuum point 1 (row below).
        const int last = map.id == MapId::Timing ? map.points - 1 : map.points;
        for (int point : {1, last}) {
            QTest::addRow("%s point %d", map.name, point)
                << int(map.pointCommand) << map.firstPointId + point - 1 << (point == 1 ? 250 : 7)
                << map.imageOffset + point - 1;
        }
    }
    QTest::newRow("timing point 30 to 24 degrees") << int(kMapPointE8) << 30 << 24 << 130;
    QTest::newRow("shared id 100 is vacuum point 1") << int(kMapPointE8) << 100 << 20 << 201;
    QTest::newRow("map value 255 wraps to wire 0") << int(kMapPointD4) << 0 << 255 << 329;
}

void TestSimulator::messagesChangeTheImage() {
    QFETCH(int, command);
    QFETCH(int, id);
    QFETCH(int, value);
    QFETCH(int, offset);
    auto expected = sim_->image();
    if (offset >= 0) {
        QVERIFY2(expected[offset] != std::uint8_t(value + 1), "the row must change its byte");
        expected[offset] = static_cast<std::uint8_t>(value + 1);
    }

    // After a byte the unit does not know, which takes no operands and gets no reply.
    QVERIFY(client_->send(bytes({0x42, command, id, value})));
    QVERIFY(sim_->waitForCommands(2, kWait));
    const QList<SimCommand> cmds = sim_->commands();
    QCOMPARE(cmds.size(), 2);
    QCOMPARE(cmds[0].bytes + cmds[0].reply, bytes({0x42}));
    QCOMPARE(cmds[1].bytes, bytes({command, id, value}));
    QVERIFY(cmds[1].reply.isEmpty());
    const auto image = sim_->image();
    for (int k = 0; k < 482; ++k)
        QVERIFY2(
            image[k] == expected[k],
            qPrintable(QStringLiteral("offset %1: %2, expected %3").arg(k).arg(image[k]).arg(expected[k])));
}

void TestSimulator::imageWritesWholeOrNotAtAll() {
    // A write whose data stops short is given up once the host is quiet, and changes nothing.
    const auto before = sim_->image();
    QVERIFY(client_->send(bytes({kWriteImage}) + QByteArray(100, '\x05')));
    QVERIFY(sim_->waitForCommands(1, 4 * kWait));
    QCOMPARE(sim_->commands().at(0).bytes, bytes({kWriteImage}) + QByteArray(100, '\x05'));
    QVERIFY(sim_->image() == before);

    // The unit listens again; command bytes and 0 inside the data are data.
    QByteArray plain(kImageSize, '\0');
    for (int k = 0; k < plain.size(); ++k)
        plain[k] = static_cast<char>((k * 7) & 0xFF);
    const QByteArray commandLike = bytes({0x00, kIdentify, kReadImage, kWriteImage, kSetParameter});
    plain.replace(0, commandLike.size(), commandLike);
    plain[480] = char(0xFF);
    plain[481] = 56;
    QVERIFY(client_->send(bytes({kWriteImage})));
    QTest::qWait(EmuPause::kWriteImageGap);
    QVERIFY(client_->send(plain));
    QVERIFY(sim_->waitForCommands(2, kWait));
    QVERIFY(client_->readFor(300).isEmpty());

    const QList<SimCommand> cmds = sim_->commands();
    QCOMPARE(cmds.size(), 2);
    QCOMPARE(cmds[1].bytes, bytes({kWriteImage}) + plain);
    QVERIFY(cmds[1].reply.isEmpty());
    const auto image = sim_->image();
    for (int k = 0; k < kImageSize; ++k)
        QCOMPARE(int(image[k]), (static_cast<std::uint8_t>(plain[k]) + 1) & 0xFF);

    // The unit now serves the new image.
    QVERIFY(client_->send(bytes({kReadImage})));
    const QByteArray reply = client_->read(kImageReplySize, 3 * kWait);
    QCOMPARE(reply, QByteArray(reinterpret_cast<const char*>(image.data()), kImageReplySize));
}

void TestSimulator::setDuringLongReplyHasItsLateTail() {
    // The last image byte comes 2 s late, so the reply is surely still going out.
    sim_->setLateTail(1, 2000);
    QVERIFY(client_->send(bytes({kReadImage})));
    std::int64_t headUs = 0;
    const QByteArray head = client_->read(50, kWait, nullptr, &headUs);
    QCOMPARE(head.size(), 50);
    QVERIFY(client_->send(bytes({kSetParameter, 38, 0})));
    QVERIFY(sim_->waitForCommands(2, kWait));

    const QList<SimCommand> cmds = sim_->commands();
    QCOMPARE(cmds[1].bytes, bytes({kSetParameter, 38, 0}));
    QVERIFY2(cmds[0].replyDoneUs == 0 || cmds[1].receivedUs < cmds[0].replyDoneUs,
             "the set waited for the reply to finish");
    QCOMPARE(int(sim_->image()[38]), 1);

    std::int64_t tailUs = 0;
    const QByteArray rest = client_->read(kImageReplySize - 50, 3 * kWait, nullptr, &tailUs);
    QCOMPARE(head + rest, baseTuneReply());
    QCOMPARE(cmds[0].reply, baseTuneReply());
    QVERIFY2(tailUs - headUs >= 1'500'000,
             qPrintable(QStringLiteral("tail after %1 us").arg(tailUs - headUs)));
}

void TestSimulator::faultsCutOrDropReplies_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("maxBytes"); // -1: silent
    QTest::addColumn<int>("wholeLength");
    QTest::newRow("image cut to 100") << int(kReadImage) << 100 << 481;
    QTest::newRow("image cut to 0") << int(kReadImage) << 0 << 481;
    QTest::newRow("identity cut to 3") << int(kIdentify) << 3 << 7;
    QTest::newRow("frame shorter than the cut") << int(kRealTimeFrame) << 20 << 10;
    QTest::newRow("silent identity") << int(kIdentify) << -1 << 7;
    QTest::newRow("silent frame") << int(kRealTimeFrame) << -1 << 10;
}

void TestSimulator::faultsCutOrDropReplies() {
    QFETCH(int, command);
    QFETCH(int, maxBytes);
    QFETCH(int, wholeLength);
    sim_->setFixedFrame(bytes({31, 129, 51, 46, 86, 41, 128, 131, 61, 1}));
    sim_->setSilent(maxBytes < 0);
    sim_->setShortReplies(maxBytes);
    // The unit still takes a set message.
    QVERIFY(client_->send(bytes({command, kSetParameter, 100, 6})));
    QVERIFY(sim_->waitForCommands(2, kWait));
    QByteArray got = client_->read(std::clamp(maxBytes, 0, wholeLength), kWait);
    got += client_->readFor(200);
    QCOMPARE(int(sim_->image()[100]), 7);
    const SimCommand faulty = sim_->commands().at(0);
    QCOMPARE(faulty.reply, got);
    if (got.isEmpty())
        QCOMPARE(faulty.replyDoneUs, 0);

    // What a whole reply would have been, from the same unit with the faults off.
    sim_->setSilent(false);
    sim_->setShortReplies(-1);
    QVERIFY(client_->send(bytes({command})));
    const QByteArray whole = client_->read(wholeLength, 3 * kWait);
    QCOMPARE(whole.size(), wholeLength);
    QCOMPARE(got, whole.left(std::max(maxBytes, 0)));
}

void TestSimulator::unplugAndReplugBehindLink() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    SimConfig config;
    config.linkPath = dir.filePath(QStringLiteral("ttyEMU0"));
    QVERIFY(start(config));
    QCOMPARE(sim_->devicePath(), config.linkPath);
    QCOMPARE(QFileInfo(config.linkPath).symLinkTarget(), sim_->ptyPath());
    QVERIFY(client_->send(bytes({kIdentify})));
    QCOMPARE(client_->read(EmuLength::kIdentity, kWait).size(), EmuLength::kIdentity);

    // Like a pulled-out adapter: the client sees a hang-up and the name is gone.
    sim_->unplug();
    QVERIFY(!sim_->running());
    QVERIFY(client_->waitForHangUp(kWait));
    QVERIFY(!client_->send(bytes({kIdentify})));
    QVERIFY(!linkExists(config.linkPath));
    QVERIFY(!PtyClient(config.linkPath).isOpen());

    QVERIFY(sim_->replug());
    QVERIFY(sim_->running());
    QCOMPARE(QFileInfo(config.linkPath).symLinkTarget(), sim_->ptyPath());
    PtyClient again(config.linkPath);
    QVERIFY(again.isOpen());
    QVERIFY(again.send(bytes({kIdentify})));
    QCOMPARE(again.read(EmuLength::kIdentity, kWait), sim_->identityReply());

    sim_->stop();
    QVERIFY(!linkExists(config.linkPath));

    // A link that cannot be made is a failed start.
    config.linkPath = dir.filePath(QStringLiteral("no/such/dir/ttyEMU0"));
    EmuSimulator nowhere(config);
    QVERIFY(!nowhere.start());
    QVERIFY(!nowhere.running());
}

void TestSimulator::usbLatencyHoldsShortReplies() {
    SimConfig config;
    config.usbLatency = true;
    QVERIFY(start(config));
    for (int poll = 0; poll < 3; ++poll) {
        const std::int64_t sent = steadyNowUs();
        QVERIFY(client_->send(bytes({kRealTimeFrame})));
        std::int64_t first = 0;
        const QByteArray frame = client_->read(EmuLength::kRealTimeFrame, kWait, &first);
        QCOMPARE(frame.size(), EmuLength::kRealTimeFrame);
        QCOMPARE(frame, sim_->lastFrame());
        // One byte time plus the 16 ms latency timer, less scheduling slack.
        QVERIFY2(first - sent >= 14'000,
                 qPrintable(QStringLiteral("first byte after %1 us").arg(first - sent)));
    }
    // A long reply goes out in packets and comes whole.
    QVERIFY(client_->send(bytes({kReadImage})));
    QCOMPARE(client_->read(kImageReplySize, 3 * kWait), baseTuneReply());
    QVERIFY(client_->readFor(100).isEmpty());
}

void TestSimulator::baseTune_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("hasTiming");
    QTest::addColumn<bool>("hasFuel");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QByteArray>("serialBytes"); // wire bytes at 94..99
    const QByteArray defaultSerial = bytes({2, 3, 4, 5, 'A' + 1, 'B' + 1});
    QTest::newRow("type 1") << 1 << true << false << "AB-010203-04" << defaultSerial;
    QTest::newRow("type 2") << 2 << false << true << "ZX-990017-00"
                            << bytes({100, 1, 18, 1, 'Z' + 1, 'X' + 1});
    QTest::newRow("type 3, malformed serial") << 3 << true << true << "nonsense" << defaultSerial;
    QTest::newRow("type 5") << 5 << true << true << "AB-010203-04" << defaultSerial;
    QTest::newRow("type 6") << 6 << true << true << "AB-010203-04" << defaultSerial;
}

void TestSimulator::baseTune() {
    QFETCH(int, type);
    QFETCH(bool, hasTiming);
    QFETCH(bool, hasFuel);
    QFETCH(QString, serial);
    QFETCH(QByteArray, serialBytes);
    const auto tune = EmuSimulator::baseTune(type, serial);
    for (int k = 0; k < 481; ++k)
        QVERIFY2(tune[k] != 0, qPrintable(QStringLiteral("offset %1 is 0").arg(k)));
    QCOMPARE(wireImage(tune).mid(94, 6), serialBytes);

    // Timing rises with the revs (point i is i x 100 RPM) to a plausible peak.
    const auto degrees = [&](int rpmHundreds) { return int(tune[100 + rpmHundreds]) - 1; };
    for (int i = 2; hasTiming && i <= 100; ++i)
        QVERIFY2(degrees(i) >= degrees(i - 1), qPrintable(QStringLiteral("timing falls at point %1").arg(i)));
    if (hasTiming)
        QVERIFY(degrees(9) >= 5 && degrees(9) <= 15 && degrees(100) >= 30 && degrees(100) <= 34);
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

void TestSimulator::toolRunsAUnitOrRefusesItsFile() {
    QVERIFY2(QFileInfo::exists(toolPath()), qPrintable(toolPath() + " is missing: build the emu-sim target"));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("tune.EMU"));
    QString error;
    QVERIFY(SettingsFile::saveToFile(file, "not a settings file\r\n", &error));
    QProcess proc;
    proc.start(toolPath(), {QStringLiteral("--file"), file});
    QVERIFY(proc.waitForFinished(2 * kWait));
    QVERIFY(proc.exitCode() != 0);
    QVERIFY(proc.readAllStandardOutput().isEmpty());
    QVERIFY(proc.readAllStandardError().contains("Incorrect .EMU file version"));

    auto image = EmuSimulator::baseTune(3, QStringLiteral("CD-111213-14"));
    image[130] = 25; // timing point 30 at 24 degrees
    image[233] = 151;
    EmuIdentity identity;
    identity.bytes = {1, 3, 13, 1, 1, 4, 4, 0};
    const QByteArray text = SettingsFile::write(identity, {"Mini", "Cooper", "1275"}, image.data());
    QVERIFY2(SettingsFile::saveToFile(file, text, &error), qPrintable(error));

    // The identity from the options, the data from the file, the device behind the link.
    const QString link = dir.filePath(QStringLiteral("ttyEMU3"));
    proc.start(toolPath(),
               {"--type", "5", "--firmware", "1.20", "--letter", "B", "--link", link, "--file", file});
    QVERIFY(proc.waitForStarted(kWait));
    while (!proc.canReadLine())
        QVERIFY2(proc.waitForReadyRead(2 * kWait), proc.readAllStandardError().constData());
    QCOMPARE(QString::fromLocal8Bit(proc.readLine()).trimmed(), link);
    PtyClient client(link);
    QVERIFY(client.isOpen());
    QVERIFY(client.send(bytes({kIdentify, kReadImage})));
    QCOMPARE(client.read(EmuLength::kIdentity + kImageReplySize, 3 * kWait),
             bytes({1, 5, 20, 3, 1, 5, 6}) + wireImage(image));

    proc.terminate();
    QVERIFY(proc.waitForFinished(2 * kWait));
    QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(proc.exitCode(), 0);
    QVERIFY(!linkExists(link));
    QVERIFY(client.waitForHangUp(kWait));
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
