// emu-cli's data logs: recording with live -o, and the log summary.
#include "monitor/DataLog.h"
#include "monitor/DataLogFile.h"

#include "EmuSimulator.h"
#include "cli_helpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

const QByteArray kFrame("\x1f\x81\x33\x2e\x56\x29\x80\x83\x3d\x01", 10); // 3000 RPM, 50 % throttle, 13 V

DataLog aRun() {
    DataLog log;
    for (std::uint32_t n = 1; n <= 10; ++n) {
        LogSample s;
        s.timeMs = static_cast<std::int32_t>(n * 100);
        s.sample = n;
        s.values.fill(1.5f);
        s.values[0] = static_cast<float>(1000 * n); // RPM 1000..10000, mean 5500
        if (n == 6)
            s.values.fill(std::numeric_limits<float>::quiet_NaN());
        log.append(s);
    }
    log.addMarker(2, QStringLiteral("third gear"));
    log.addMarker(7, QString());
    return log;
}

} // namespace

class TestCliLog : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        SimConfig config;
        config.linkPath = dir_->filePath(QStringLiteral("ttyEMU"));
        sim_ = std::make_unique<EmuSimulator>(config);
        QVERIFY(sim_->start());
        sim_->setFixedFrame(kFrame);
    }
    void cleanup() {
        sim_->stop();
        sim_.reset();
    }

    void liveRecordsEveryFrame_data() {
        QTest::addColumn<QStringList>("format");
        QTest::addColumn<int>("expected");
        QTest::newRow("csv") << QStringList{} << int(DataLogFile::Format::Csv);
        QTest::newRow("msl") << QStringList{"--format", "msl"} << int(DataLogFile::Format::Msl);
    }
    void liveRecordsEveryFrame() {
        QFETCH(QStringList, format);
        QFETCH(int, expected);
        const QString path = dir_->filePath(QStringLiteral("run.log"));
        const Run r = runCli(
            QStringList{"live", "--seconds", "1", "--device", sim_->devicePath(), "-o", path} + format);
        QCOMPARE(r.status, 0);
        const DataLogFile::ReadResult log = DataLogFile::readFile(path);
        QVERIFY2(log.ok && log.warning.isEmpty(), qPrintable(log.error + log.warning));
        QCOMPARE(int(log.format), expected);
        const int polls = static_cast<int>(commandBytes(sim_->commands()).count(char(0xFC)));
        QCOMPARE(log.log.size(), std::int64_t(framesTaken(r, polls)));
        QVERIFY(log.log.size() >= 10);
        QVERIFY(r.out.contains(QStringLiteral("%1 samples recorded").arg(log.log.size())));
        QCOMPARE(log.log.value(0, 0), 3000.f);
        QCOMPARE(log.log.value(0, 2), 50.f); // throttle
        QCOMPARE(log.log.value(0, 7), 13.f);
        QVERIFY2(log.log.durationMs() > 800 && log.log.durationMs() <= 1000,
                 qPrintable(QString::number(log.log.durationMs())));
    }

    void liveRefusesAFormatItDoesNotKnow() {
        QCOMPARE(runCli({"live", "--device", sim_->devicePath(), "-o", "x.csv", "--format", "xls"}).status,
                 2);
        QCOMPARE(runCli({"live", "--device", sim_->devicePath(), "--format", "msl"}).status, 2);
    }

    // A recorder killed in the middle of a run leaves every row up to then readable.
    void killedRecorderLeavesAReadableLog() {
        const QString path = dir_->filePath(QStringLiteral("killed.csv"));
        QProcess p;
        p.start(cliPath(), {"live", "--device", sim_->devicePath(), "-o", path});
        QVERIFY(p.waitForStarted());
        QTest::qWait(1500);
        p.kill();
        QVERIFY(p.waitForFinished());
        const DataLogFile::ReadResult log = DataLogFile::readFile(path);
        QVERIFY2(log.ok, qPrintable(log.error));
        QVERIFY2(log.log.size() >= 10, qPrintable(QString::number(log.log.size())));
        for (std::int64_t i = 0; i < log.log.size(); ++i)
            QCOMPARE(log.log.value(i, 0), 3000.f);
        QVERIFY(log.warning.isEmpty() || log.badLine == log.log.size() + 2);
    }

    void logSummarises() {
        const QString path = dir_->filePath(QStringLiteral("run.csv"));
        QCOMPARE(DataLogFile::save(aRun(), path, DataLogFile::Format::Csv), QString());
        const Run r = runCli({"log", path});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains(QStringLiteral("duration: 1.000 s\n")), qPrintable(r.out));
        QVERIFY(r.out.contains(QStringLiteral("samples: 10\n")));
        QVERIFY(r.out.contains(QStringLiteral("gaps: 1\n")));
        QVERIFY(r.out.contains(QStringLiteral("markers: 2\n  M1 at 0.300 s: third gear\n  M2 at 0.800 s\n")));
        QVERIFY2(r.out.contains(QStringLiteral("  RPM (rpm): 1000 / 5444.44 / 10000\n")), qPrintable(r.out));

        const Run j = runCli({"log", path, "--json"});
        QCOMPARE(j.status, 0);
        const QJsonObject o = QJsonDocument::fromJson(j.out.toUtf8()).object();
        QCOMPARE(o.value(QStringLiteral("samples")).toInt(), 10);
        QCOMPARE(o.value(QStringLiteral("gaps")).toInt(), 1);
        QCOMPARE(o.value(QStringLiteral("duration_s")).toDouble(), 1.0);
        const QJsonArray markers = o.value(QStringLiteral("markers")).toArray();
        QCOMPARE(markers.size(), 2);
        QCOMPARE(markers.at(0).toObject().value(QStringLiteral("note")).toString(),
                 QStringLiteral("third gear"));
        QCOMPARE(markers.at(1).toObject().value(QStringLiteral("time_s")).toDouble(), 0.8);
        const QJsonObject rpm = o.value(QStringLiteral("channels")).toArray().at(0).toObject();
        QCOMPARE(rpm.value(QStringLiteral("name")).toString(), QStringLiteral("RPM"));
        QCOMPARE(rpm.value(QStringLiteral("count")).toInt(), 9);
        QCOMPARE(rpm.value(QStringLiteral("max")).toDouble(), 10000.0);
    }

    void logReportsACutFileAndRefusesANonLog() {
        const QString path = dir_->filePath(QStringLiteral("cut.csv"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(DataLogFile::text(DataLogFile::Format::Csv, aRun()).chopped(5));
        f.close();
        const Run cut = runCli({"log", path});
        QCOMPARE(cut.status, 0);
        QVERIFY2(cut.err.contains(QStringLiteral("line 11: the row is cut short")), qPrintable(cut.err));
        QVERIFY(cut.out.contains(QStringLiteral("samples: 9\n")));

        const QString other = dir_->filePath(QStringLiteral("other.csv"));
        QFile o(other);
        QVERIFY(o.open(QIODevice::WriteOnly));
        o.write("a,b\n1,2\n");
        o.close();
        const Run refused = runCli({"log", other});
        QCOMPARE(refused.status, 1);
        QVERIFY(refused.err.contains(QStringLiteral("not a data log")));
        QVERIFY(refused.out.isEmpty());
        QCOMPARE(runCli({"log"}).status, 2);
    }

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<EmuSimulator> sim_;
};

QTEST_GUILESS_MAIN(TestCliLog)
#include "tst_clilog.moc"
