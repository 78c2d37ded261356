// emu-cli suggest: the per-point mixture table of a logged run, as text and as JSON.

#include "cli_helpers.h"

#include "SimRoadRun.h"

#include "calibration/Rounding.h"
#include "calibration/SettingsFile.h"
#include "monitor/DataLogFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

using Image = std::array<std::uint8_t, kImageReplySize>;

// The base tune with the cruise curve 10 % lean and the high-load curve 8 % rich.
Image leanCruiseRichHigh() {
    Image image = EmuSimulator::baseTune(3, QStringLiteral("AB-010203-04"));
    for (const auto& [map, shift] :
         {std::pair{MapId::FuelRpmCruise, -10}, std::pair{MapId::FuelRpmHigh, 8}}) {
        const MapInfo& info = mapInfo(map);
        for (int n = 0; n < info.points; ++n)
            image[static_cast<size_t>(info.imageOffset + n)] += shift;
    }
    return image;
}

QString writeTune(const QTemporaryDir& dir, const Image& image) {
    EmuIdentity id;
    id.bytes = {1, 3, 13, 1, 1, 4, 4, 0};
    const QString path = dir.filePath(QStringLiteral("tune.emu"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write(SettingsFile::write(id, VehicleInfo{}, image.data()));
    return path;
}

QJsonObject curveOf(const QJsonObject& o, const QString& name) {
    for (const QJsonValue& c : o.value(QStringLiteral("curves")).toArray())
        if (c.toObject().value(QStringLiteral("map")).toString() == name)
            return c.toObject();
    return {};
}

} // namespace

class TestCliSuggest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        const Image image = leanCruiseRichHigh();
        tune_ = writeTune(*dir_, image);
        // Five warm minutes of the road cycle.
        const DataLog log = recordRoadRun(SimEngineModel(3), SimMixture::decodeTune(image), 180, 480);
        log_ = dir_->filePath(QStringLiteral("run.csv"));
        QCOMPARE(DataLogFile::save(log, log_, DataLogFile::Format::Csv), QString());
    }

    void jsonNamesEveryVisitedPoint() {
        const Run r = runCli({"suggest", log_, "--tune", tune_, "--json"});
        QCOMPARE(r.status, 0);
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(o.value("samples").toInt(), 7500);
        QVERIFY(o.value("used").toInt() > 3000);
        QCOMPARE(o.value("target_volts").toDouble(), 0.45);
        QVERIFY(o.value("rejected").toObject().value("overrun").toInt() > 0);
        QVERIFY(o.value("rejected").toObject().value("throttle_moving").toInt() > 0);
        QCOMPARE(o.value("rejected").toObject().value("cold").toInt(), 0);

        // Every step on the lean curve adds fuel and every step on the rich one takes it away; the
        // points seen often enough move the whole step.
        int leanUp = 0, richDown = 0, wrongWay = 0, fullSteps = 0;
        for (const QString& name : {QStringLiteral("FuelRpmCruiseMap"), QStringLiteral("FuelRpmHighMap")}) {
            const QJsonObject curve = curveOf(o, name);
            QVERIFY(curve.value("adjusted").toBool());
            for (const QJsonValue& v : curve.value("points").toArray()) {
                const QJsonObject p = v.toObject();
                const int step = p.value("step").toInt();
                QCOMPARE(p.value("suggested").toDouble(), p.value("value").toDouble() + step);
                const QString confidence = p.value("confidence").toString();
                if (confidence == QLatin1String("low") || confidence == QLatin1String("none"))
                    QCOMPARE(step, 0);
                QVERIFY(std::abs(step) <= (confidence == QLatin1String("high") ? 3 : 1));
                fullSteps += std::abs(step) == 3;
                if (step == 0)
                    continue;
                if (name.contains(QLatin1String("Cruise")))
                    step > 0 ? ++leanUp : ++wrongWay;
                else
                    step < 0 ? ++richDown : ++wrongWay;
            }
        }
        QVERIFY2(leanUp >= 8 && richDown >= 8, qPrintable(QStringLiteral("%1 %2").arg(leanUp).arg(richDown)));
        QCOMPARE(wrongWay, 0);
        QVERIFY(fullSteps >= 6);
        // The fuel-vacuum map shares the readings but takes no step on this pass.
        const QJsonObject vacuum = curveOf(o, QStringLiteral("FuelVacuumMap"));
        QVERIFY(!vacuum.value("adjusted").toBool());
        QVERIFY(!vacuum.value("points").toArray().isEmpty());
        for (const QJsonValue& v : vacuum.value("points").toArray())
            QCOMPARE(v.toObject().value("step").toInt(), 0);
    }

    void textTableAndTheSentence() {
        const Run r = runCli({"suggest", log_, "--tune", tune_});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.contains(QStringLiteral("target: 0.45 V")));
        QVERIFY(r.out.contains(QStringLiteral("FuelRpmCruiseMap\n")));
        QVERIFY(r.out.contains(QStringLiteral("FuelVacuumMap (readings only")));
        QVERIFY(r.out.contains(QStringLiteral("overrun (injector off)")));
        QVERIFY(r.out.contains(QStringLiteral(" lean ")));
        QVERIFY(r.out.contains(QStringLiteral(" rich ")));
        QVERIFY(r.out.contains(QStringLiteral("points to change")));
        QVERIFY(r.out.contains(QStringLiteral("narrowband sensor")));
        // --adjust vacuum moves the other map.
        const Run v = runCli({"suggest", log_, "--tune", tune_, "--adjust", "vacuum"});
        QCOMPARE(v.status, 0);
        QVERIFY(v.out.contains(QStringLiteral("FuelRpmCruiseMap (readings only")));
        QVERIFY(v.out.contains(QStringLiteral("FuelVacuumMap\n")));
    }

    void theUnitsTuneGivesTheSameTable() {
        SimConfig config;
        config.type = 3;
        config.image = leanCruiseRichHigh();
        EmuSimulator sim(config);
        QVERIFY(sim.start());
        const Run fromFile = runCli({"suggest", log_, "--tune", tune_});
        QCOMPARE(fromFile.status, 0);
        QVERIFY(fromFile.out.contains(QStringLiteral(" lean ")));

        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("EMU_PORTS"), QStringLiteral(":") + sim.devicePath());
        p.setProcessEnvironment(env);
        p.start(cliPath(), {QStringLiteral("suggest"), log_, QStringLiteral("--port"), QStringLiteral("2")});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), fromFile.out);
        // Identified and read; nothing written to the unit.
        QCOMPARE(commandBytes(sim.commands()), QByteArray("\xFF\xFD"));

        sim.clearRecord();
        const Run json = runCli({"suggest", log_, "--device", sim.devicePath(), "--json"});
        QCOMPARE(json.status, 0);
        const QJsonObject o = QJsonDocument::fromJson(json.out.toUtf8()).object();
        QCOMPARE(o.value("tune").toString(), sim.devicePath());
        QVERIFY(o.value("suggestions").toInt() > 0);
        sim.stop();
        // The unit gone: a fault, not a table.
        const Run gone = runCli({"suggest", log_, "--device", dir_->filePath(QStringLiteral("no-such-tty"))});
        QCOMPARE(gone.status, 1);
        QVERIFY(gone.out.isEmpty());
    }

    void wrongUsageAndBadFiles_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::newRow("no tune") << QStringList{"suggest", "LOG"} << 2;
        QTest::newRow("no log") << QStringList{"suggest", "--tune", "TUNE"} << 2;
        QTest::newRow("tune and port") << QStringList{"suggest", "LOG", "--tune", "TUNE", "--port", "1"} << 2;
        QTest::newRow("port and device")
            << QStringList{"suggest", "LOG", "--port", "1", "--device", "/dev/null"} << 2;
        QTest::newRow("unknown map") << QStringList{"suggest", "LOG", "--tune", "TUNE", "--adjust", "timing"}
                                     << 2;
        QTest::newRow("water not a number")
            << QStringList{"suggest", "LOG", "--tune", "TUNE", "--min-water", "x"} << 2;
        QTest::newRow("missing log") << QStringList{"suggest", "/nonexistent/run.csv", "--tune", "TUNE"} << 1;
        QTest::newRow("missing tune") << QStringList{"suggest", "LOG", "--tune", "/nonexistent/t.emu"} << 1;
    }

    void wrongUsageAndBadFiles() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        args.replaceInStrings(QStringLiteral("LOG"), log_);
        args.replaceInStrings(QStringLiteral("TUNE"), tune_);
        const Run r = runCli(args);
        QCOMPARE(r.status, status);
        QVERIFY(r.out.isEmpty());
        QVERIFY(!r.err.isEmpty());
    }

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString tune_;
    QString log_;
};

QTEST_GUILESS_MAIN(TestCliSuggest)
#include "tst_clisuggest.moc"
