// emu-cli as a user runs it: the real binary against the simulated unit on a pty.
#include "calibration/SettingsFile.h"

#include "EmuSimulator.h"
#include "PtyPair.h"
#include "cli_helpers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>

class TestEmuCli : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void usage_data();
    void usage();
    void identify();
    void identifyWithoutUnit();
    void identifyShowsControlBytesOfASerialSafely();
    void readSavesTheUnitsImage();
    void readRefusesVehicleTextsTheFileCannotHold();
    void writeRestoresABackup();
    void writeRefusals_data();
    void writeRefusals();
    void writeIsConfirmedByTheReadBack_data();
    void writeIsConfirmedByTheReadBack();
    void deviceNameWithColonsIsUsedWhole();
    void outputTargets();
    void showRefusesPipesAndDevices();
    void showJson();
    void showRejectsABadFile();
    void livePrintsOneLinePerFrame();

  private:
    void startSim(SimConfig config);
    QString backupOf(int type = 3);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<EmuSimulator> sim_;
};

void TestEmuCli::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(QFile::exists(cliPath()));
}

void TestEmuCli::cleanup() {
    if (sim_)
        sim_->stop();
    sim_.reset();
}

void TestEmuCli::startSim(SimConfig config) {
    if (sim_)
        sim_->stop();
    config.linkPath = dir_->filePath(QStringLiteral("ttyEMU"));
    sim_ = std::make_unique<EmuSimulator>(config);
    QVERIFY(sim_->start());
}

void TestEmuCli::usage_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::newRow("nothing") << QStringList{} << 2;
    QTest::newRow("unknown command") << QStringList{"flash"} << 2;
    QTest::newRow("top help") << QStringList{"--help"} << 0;
    QTest::newRow("identify help") << QStringList{"identify", "--help"} << 0;
    QTest::newRow("read help") << QStringList{"read", "--help"} << 0;
    QTest::newRow("write help") << QStringList{"write", "--help"} << 0;
    QTest::newRow("show help") << QStringList{"show", "--help"} << 0;
    QTest::newRow("no port") << QStringList{"identify"} << 2;
    QTest::newRow("port and device") << QStringList{"identify", "--port", "1", "--device", "/dev/null"} << 2;
    QTest::newRow("port 21") << QStringList{"identify", "--port", "21"} << 2;
    QTest::newRow("read without -o") << QStringList{"read", "--port", "1"} << 2;
    QTest::newRow("write without file") << QStringList{"write", "--port", "1"} << 2;
    QTest::newRow("unknown option") << QStringList{"show", "--colour", "a.emu"} << 2;
}

void TestEmuCli::usage() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    const Run r = runCli(args);
    QCOMPARE(r.status, status);
    if (r.status == 2)
        QVERIFY(!r.err.isEmpty());
    else
        QVERIFY(!r.out.isEmpty());
}

void TestEmuCli::identify() {
    SimConfig config;
    config.releaseLetter = QLatin1Char('A');
    startSim(config);
    const Run r = runCli({"identify", "--device", sim_->devicePath()});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains("Model: 3\n"), qPrintable(r.out));
    QVERIFY(r.out.contains("Type: Fuel and Timing\n"));
    QVERIFY(r.out.contains("Firmware version: 1.13\n"));
    QVERIFY(r.out.contains("Release letter: A\n"));
    QVERIFY(r.out.contains("Signature: 56\n"));
    QVERIFY(!r.out.contains("Serial"));
    QCOMPARE(commandBytes(sim_->commands()), QByteArray("\xFF"));

    // The serial number costs one more read, which must come whole.
    sim_->clearRecord();
    const Run serial = runCli({"identify", "--serial", "--device", sim_->devicePath()});
    QCOMPARE(serial.status, 0);
    QVERIFY2(serial.out.contains("Serial number: AB-010203-04\n"), qPrintable(serial.out));
    QCOMPARE(commandBytes(sim_->commands()), QByteArray("\xFF\xFD"));
    sim_->setShortImageReplies(50);
    const Run cut = runCli({"identify", "--serial", "--device", sim_->devicePath()});
    QCOMPARE(cut.status, 1);
    QVERIFY2(cut.err.contains("sent 50 of 481 bytes"), qPrintable(cut.err));
    sim_->setShortImageReplies(-1);

    // The same unit by port number through EMU_PORTS.
    ScopedEmuPorts ports({QString(), sim_->devicePath()});
    const Run byPort = runCli({"identify", "--port", "2"});
    QCOMPARE(byPort.status, 0);
    QVERIFY2(byPort.out.contains("Model: 3\n"), qPrintable(byPort.out));
}

void TestEmuCli::identifyShowsControlBytesOfASerialSafely() {
    // Letters ESC and BEL (wire value + 1): the unit's bytes must not reach the terminal raw.
    SimConfig config;
    auto image = EmuSimulator::baseTune(3, QStringLiteral("AB-010203-04"));
    image[98] = 0x1B + 1;
    image[99] = 0x07 + 1;
    config.image = image;
    startSim(config);
    const Run r = runCli({"identify", "--serial", "--device", sim_->devicePath()});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(QStringLiteral("Serial number: \\x1b\\x07-010203-04\n")), qPrintable(r.out));
    for (const QChar c : r.out)
        QVERIFY2(c >= QLatin1Char(' ') || c == QLatin1Char('\n'), qPrintable(r.out));
}

void TestEmuCli::identifyWithoutUnit() {
    startSim({});
    sim_->setSilent(true);
    Run r = runCli({"identify", "--device", sim_->devicePath()});
    QCOMPARE(r.status, 1);
    QCOMPARE(r.err.count('\n'), 1);
    QVERIFY(r.err.contains("no EMU answered"));

    r = runCli({"identify", "--device", dir_->filePath("nothing-here")});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains("no serial device"), qPrintable(r.err));
}

void TestEmuCli::readSavesTheUnitsImage() {
    SimConfig config;
    config.type = 6;
    config.releaseLetter = QLatin1Char('B');
    startSim(config);
    // A jet trim at the top of its range is sent as a 0 byte and must not cut the table.
    auto tune = EmuSimulator::baseTune(6, config.serial);
    tune[3] = 0;
    tune[200] = 0;
    sim_->setImage(tune);

    const QString file = dir_->filePath("car.emu");
    const Run r = runCli({"read", "--device", sim_->devicePath(), "-o", file, "--make", "Mini", "--model",
                          "Cooper S", "--engine", "A-series 1275"});
    QCOMPARE(r.status, 0);
    QCOMPARE(commandBytes(sim_->commands()), QByteArray("\xFF\xFD"));

    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const auto contents = SettingsFile::read(f.readAll());
    QVERIFY(contents);
    QCOMPARE(contents->identity.model(), 6);
    QCOMPARE(contents->identity.firmwareVersionText(), QStringLiteral("1.13"));
    QCOMPARE(contents->identity.releaseLetter(), QStringLiteral("B"));
    QCOMPARE(contents->vehicle.make, QStringLiteral("Mini"));
    QCOMPARE(contents->vehicle.model, QStringLiteral("Cooper S"));
    QCOMPARE(contents->vehicle.engine, QStringLiteral("A-series 1275"));
    for (int k = 0; k < 481; ++k)
        QCOMPARE(contents->image[k], tune[k]);
    QCOMPARE(contents->image[481], std::uint8_t(0));
}

void TestEmuCli::readRefusesVehicleTextsTheFileCannotHold() {
    startSim({});
    const QString file = dir_->filePath("bad.emu");
    Run r = runCli({"read", "--device", sim_->devicePath(), "-o", file, "--make", "Mini~Cooper"});
    QCOMPARE(r.status, 2);
    r = runCli({"read", "--device", sim_->devicePath(), "-o", file, "--engine", "A\nB"});
    QCOMPARE(r.status, 2);
    QVERIFY(!QFile::exists(file));
    QVERIFY(sim_->commands().isEmpty());
}

// A unit of the type started and its data read into a file; empty when the read failed.
QString TestEmuCli::backupOf(int type) {
    SimConfig config;
    config.type = type;
    startSim(config);
    const QString file = dir_->filePath(QStringLiteral("backup-%1.emu").arg(type));
    const Run r = runCli({"read", "--device", sim_->devicePath(), "-o", file});
    if (r.status != 0)
        return {};
    return file;
}

void TestEmuCli::writeRestoresABackup() {
    for (int type : {1, 2, 3, 5, 6}) {
        const QString file = backupOf(type);
        QVERIFY(!file.isEmpty());
        const auto original = sim_->image();

        // The unit's tune changes; writing the backup restores every byte of it.
        std::array<std::uint8_t, 481> other{};
        for (int k = 0; k < 481; ++k)
            other[k] = static_cast<std::uint8_t>(1 + (k * 13) % 250);
        sim_->setImage(other);
        sim_->clearRecord();

        const Run r = runCli({"write", file, "--device", sim_->devicePath()});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        // Who is there (for the firmware check, and again just before the image), the image, and
        // the image read back to confirm it.
        const auto commands = sim_->commands();
        QCOMPARE(commandBytes(commands), QByteArray("\xFF\xFF\xF3\xFD"));
        QCOMPARE(commands[2].bytes.size(), 483);
        QCOMPARE(std::uint8_t(commands[2].bytes[482]), std::uint8_t(56)); // the trailer
        const auto restored = sim_->image();
        for (int k = 0; k < 481; ++k)
            QVERIFY2(restored[k] == original[k],
                     qPrintable(QStringLiteral("type %1 offset %2").arg(type).arg(k)));
    }
}

void TestEmuCli::writeRefusals_data() {
    QTest::addColumn<int>("unitType");
    QTest::addColumn<int>("unitRelease");
    QTest::addColumn<bool>("force");
    QTest::addColumn<int>("status");
    QTest::newRow("model differs") << 1 << 13 << false << 1;
    QTest::newRow("model differs, forced") << 1 << 13 << true << 0;
    QTest::newRow("firmware 1.12") << 3 << 12 << false << 1;
    QTest::newRow("firmware 1.12, forced") << 3 << 12 << true << 1;
}

void TestEmuCli::writeRefusals() {
    const QString file = backupOf();
    QVERIFY(!file.isEmpty());

    QFETCH(int, unitType);
    QFETCH(int, unitRelease);
    QFETCH(bool, force);
    QFETCH(int, status);
    SimConfig unit;
    unit.type = unitType;
    unit.firmwareRelease = unitRelease;
    startSim(unit);
    QStringList args{"write", file, "--device", sim_->devicePath()};
    if (force)
        args << "--force";
    const Run r = runCli(args);
    QCOMPARE(r.status, status);
    if (r.status == 1) {
        QCOMPARE(r.err.count('\n'), 1);
        QCOMPARE(commandBytes(sim_->commands()), QByteArray("\xFF")); // identified, nothing written
    } else {
        QCOMPARE(commandBytes(sim_->commands()), QByteArray("\xFF\xFF\xF3\xFD"));
    }
}

void TestEmuCli::showJson() {
    const QString file = backupOf();
    QVERIFY(!file.isEmpty());
    const Run r = runCli({"show", file, "--json"});
    QCOMPARE(r.status, 0);
    const QJsonObject doc = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(doc["identity"].toObject()["model"].toInt(), 3);
    QCOMPARE(doc["identity"].toObject()["signature"].toString(), QStringLiteral("44"));
    const QJsonArray setup = doc["setup"].toArray();
    QCOMPARE(setup.size(), 101);
    const auto image = sim_->image();
    for (int k = 0; k < 101; ++k)
        QCOMPARE(setup[k].toObject()["wire"].toInt(), int(image[k]));
    QCOMPARE(setup[80].toObject()["name"].toString(), QStringLiteral("Cylinders"));

    const QJsonObject maps = doc["maps"].toObject();
    QCOMPARE(maps.size(), 10);
    const int rpmRange = image[81] == 1 ? 7000 : (image[81] - 1) * 100;
    const QJsonArray timing = maps["TimingMap"].toArray();
    QCOMPARE(timing.size(), rpmRange / 100);
    QCOMPARE(timing[29].toObject()["value"].toDouble(), double(image[101 + 29] - 1));
    // Axis values as the charts show them, in the tuner's units.
    QCOMPARE(timing[29].toObject()["x"].toDouble(), 3000.0);
    QCOMPARE(timing[29].toObject()["xUnit"].toString(), QStringLiteral("RPM"));
    const QJsonArray fuelVac = maps["FuelVacuumMap"].toArray();
    QCOMPARE(fuelVac.size(), 64);
    QCOMPARE(fuelVac[0].toObject()["value"].toDouble(), double(image[233] - 101));
    QCOMPARE(fuelVac[0].toObject()["x"].toDouble(), 0.02); // 1/64 of 1.0 bar, to two decimals
    QCOMPARE(fuelVac[0].toObject()["xUnit"].toString(), QStringLiteral("bar"));

    const Run text = runCli({"show", file});
    QCOMPARE(text.status, 0);
    QVERIFY2(text.out.contains(QStringLiteral(" 30: 3000 RPM = %1 °\n").arg(image[101 + 29] - 1)),
             qPrintable(text.out));
    QVERIFY(text.out.contains(QStringLiteral("  1: 0.02 bar = %1 %\n").arg(image[233] - 101)));
}

void TestEmuCli::showRejectsABadFile() {
    const QString file = dir_->filePath("bad.emu");
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#EMU Version\r\n13131244\r\n#Table\r\n1,2,,3,;\r\n#EOF\r\n");
    f.close();
    const Run r = runCli({"show", file});
    QCOMPARE(r.status, 1);
    QVERIFY(r.err.contains("Incorrect .EMU file version"));
    QCOMPARE(r.err.count('\n'), 1);
}

void TestEmuCli::writeIsConfirmedByTheReadBack_data() {
    QTest::addColumn<bool>("dropsWrite");
    QTest::addColumn<int>("readBackBytes");
    QTest::addColumn<QString>("reason");
    QTest::newRow("unit drops the image") << true << -1 << QStringLiteral("positions differ");
    QTest::newRow("read-back cut") << false << 150 << QStringLiteral("sent back 150 of 481 bytes");
}

void TestEmuCli::writeIsConfirmedByTheReadBack() {
    QFETCH(bool, dropsWrite);
    QFETCH(int, readBackBytes);
    QFETCH(QString, reason);
    const QString file = backupOf();
    QVERIFY(!file.isEmpty());
    // The unit holds another tune, so a dropped write shows in the read-back.
    std::array<std::uint8_t, 481> other{};
    for (int k = 0; k < 481; ++k)
        other[k] = static_cast<std::uint8_t>(1 + (k * 7) % 200);
    sim_->setImage(other);
    sim_->setIgnoreImageWrites(dropsWrite);
    sim_->setShortImageReplies(readBackBytes);
    sim_->clearRecord();

    const Run r = runCli({"write", file, "--device", sim_->devicePath()});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(reason), qPrintable(r.err));
    QCOMPARE(r.err.count('\n'), 1);
    QVERIFY(!r.out.contains("Wrote"));
    QCOMPARE(commandBytes(sim_->commands()), QByteArray("\xFF\xFF\xF3\xFD"));
}

void TestEmuCli::deviceNameWithColonsIsUsedWhole() {
    startSim({});
    // A by-path name as udev makes them: the colons belong to the name.
    const QString byPath = dir_->filePath(QStringLiteral("pci-0000:00:14.0-usb-0:2:1.0-port0"));
    QVERIFY(QFile::link(sim_->devicePath(), byPath));
    const Run r = runCli({"identify", "--device", byPath});
    QVERIFY2(r.status == 0, qPrintable(r.err));
    QVERIFY(r.out.contains("Model: 3"));

    // Two paths joined by ":" are one name that does not exist, not a list.
    const Run joined = runCli({"identify", "--device", sim_->devicePath() + QStringLiteral(":/dev/null")});
    QCOMPARE(joined.status, 1);
    QVERIFY2(joined.err.contains(sim_->devicePath() + QStringLiteral(":/dev/null")), qPrintable(joined.err));
}

void TestEmuCli::outputTargets() {
    startSim({});
    const QString device = sim_->devicePath();

    // A pipe is never replaced by a file, and the unit is not asked for its data.
    const QString fifo = dir_->filePath(QStringLiteral("pipe.emu"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    sim_->clearRecord();
    const Run toFifo = runCli({"read", "--device", device, "-o", fifo});
    QCOMPARE(toFifo.status, 1);
    QVERIFY2(toFifo.err.contains(fifo), qPrintable(toFifo.err));
    QVERIFY(QFileInfo(fifo).isFile() == false && QFileInfo::exists(fifo));
    QVERIFY(!commandBytes(sim_->commands()).contains('\xFD'));

    // A symbolic link to a regular file is followed: the file behind it gets the tune.
    const QString real = dir_->filePath(QStringLiteral("real.emu"));
    const QString link = dir_->filePath(QStringLiteral("link.emu"));
    {
        QFile f(real);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    QVERIFY(QFile::link(real, link));
    const Run viaLink = runCli({"read", "--device", device, "-o", link});
    QVERIFY2(viaLink.status == 0, qPrintable(viaLink.err));
    QVERIFY(QFileInfo(link).isSymLink());
    QFile saved(real);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    QVERIFY(SettingsFile::read(text).has_value());

    // "-o -" writes the same file to standard output.
    const Run toStdout = runCli({"read", "--device", device, "-o", "-"});
    QCOMPARE(toStdout.status, 0);
    QCOMPARE(toStdout.out.toLatin1(), text);
}

void TestEmuCli::showRefusesPipesAndDevices() {
    const QString fifo = dir_->filePath(QStringLiteral("pipe.emu"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {fifo, QStringLiteral("/dev/null")}) {
        const Run r = runCli({"show", path}); // returns at once; a pipe would otherwise wait for ever
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(path + QStringLiteral(": not a regular file")), qPrintable(r.err));
    }
    const QString missing = dir_->filePath(QStringLiteral("missing.emu"));
    const Run r = runCli({"show", missing});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains(missing), qPrintable(r.err));
}

void TestEmuCli::livePrintsOneLinePerFrame() {
    startSim({});
    sim_->setFixedFrame(QByteArray("\x1f\x81\x33\x2e\x56\x29\x80\x83\x3d\x01", 10));
    const Run r = runCli({"live", "--seconds", "1", "--device", sim_->devicePath()});
    QCOMPARE(r.status, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.size() >= 10, qPrintable(r.out));
    QVERIFY(lines.first().startsWith(QStringLiteral("time_s,rpm,vacuum_bar,")));
    const QStringList fields = lines.at(1).split(QLatin1Char(','));
    QCOMPARE(fields.size(), 12);
    QCOMPARE(fields.at(1), QStringLiteral("3000"));
    QCOMPARE(fields.at(3), QStringLiteral("50"));
    QCOMPARE(fields.at(4), QStringLiteral("0.45"));
    QCOMPARE(fields.at(5), QStringLiteral("85"));
    QCOMPARE(fields.at(8), QStringLiteral("13"));
    QCOMPARE(fields.at(9), QStringLiteral("6"));
    QCOMPARE(fields.at(11), QStringLiteral("15"));
    // At most 25 polls a second, each one frame.
    const int polls = static_cast<int>(commandBytes(sim_->commands()).count(char(0xFC)));
    QVERIFY2(polls <= 27, qPrintable(QString::number(polls)));
    QCOMPARE(lines.size() - 1, framesTaken(r, polls));

    sim_->setSilent(true);
    const Run gone = runCli({"live", "--seconds", "2", "--device", sim_->devicePath()});
    QCOMPARE(gone.status, 1);
}

QTEST_GUILESS_MAIN(TestEmuCli)
#include "tst_emucli.moc"
