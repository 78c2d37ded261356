#include "monitor/DataLog.h"
#include "monitor/DataLogFile.h"
#include "monitor/LogReplay.h"

#include <QSignalSpy>

#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <cmath>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

LogSample sampleAt(std::int32_t ms, std::uint32_t n) {
    LogSample s;
    s.timeMs = ms;
    s.sample = n;
    for (int c = 0; c < LogChannels::kCount; ++c)
        s.values[static_cast<size_t>(c)] = static_cast<float>(n * 0.37 + c * 1.01);
    s.values[0] = static_cast<float>(3000 + n); // RPM
    s.values[1] = 1.51f;                        // vacuum, bar
    s.values[3] = 0.45f;                        // lambda, V
    return s;
}

LogSample gapAt(std::int32_t ms, std::uint32_t n) {
    LogSample s;
    s.timeMs = ms;
    s.sample = n;
    s.values.fill(std::numeric_limits<float>::quiet_NaN());
    return s;
}

// A short run: rows every 100 ms, a gap, a row without timing, two markers.
DataLog shortRun() {
    DataLog log;
    for (std::uint32_t n = 1; n <= 20; ++n)
        log.append(sampleAt(static_cast<std::int32_t>(n * 100 + n % 7), n));
    log.append(gapAt(2150, 21));
    LogSample noTiming = sampleAt(2900, 22);
    noTiming.values[10] = std::numeric_limits<float>::quiet_NaN();
    log.append(noTiming);
    log.addMarker(4, QStringLiteral("third gear, 4000"));
    log.addMarker(21, QString());
    return log;
}

bool sameValue(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

void compareLogs(const DataLog& a, const DataLog& b) {
    QCOMPARE(b.size(), a.size());
    for (std::int64_t i = 0; i < a.size(); ++i) {
        QCOMPARE(b.timeMs(i), a.timeMs(i));
        QCOMPARE(b.sampleNumber(i), a.sampleNumber(i));
        for (int c = 0; c < LogChannels::kCount; ++c)
            QVERIFY2(sameValue(a.value(i, c), b.value(i, c)),
                     qPrintable(QStringLiteral("row %1 channel %2").arg(i).arg(c)));
    }
    QCOMPARE(b.markers().size(), a.markers().size());
    for (size_t m = 0; m < a.markers().size(); ++m) {
        QCOMPARE(b.markers()[m].number, a.markers()[m].number);
        QCOMPARE(b.markers()[m].row, a.markers()[m].row);
        QCOMPARE(b.markers()[m].note, a.markers()[m].note);
    }
    QCOMPARE(b.gaps(), a.gaps());
}

} // namespace

class TestDataLog : public QObject {
    Q_OBJECT

  private slots:
    void markerNotesKeepToOneField() {
        DataLog log;
        QCOMPARE(log.addMarker(0, QStringLiteral(" 3rd, \"full\"\tthrottle\n")).note,
                 QStringLiteral("3rd full throttle"));
        QCOMPARE(log.addMarker(3, QString(200, u'x')).note.size(), 80);
        QCOMPARE(log.markers().back().number, 2);
    }

    void storageIsChunkedAndSearchable() {
        DataLog log;
        const std::int64_t rows = DataLog::kChunkRows * 2 + 17;
        for (std::int64_t i = 0; i < rows; ++i)
            QVERIFY(log.append(sampleAt(static_cast<std::int32_t>(i * 40), static_cast<std::uint32_t>(i))));
        QCOMPARE(log.size(), rows);
        QCOMPARE(log.sampleNumber(DataLog::kChunkRows), std::uint32_t(DataLog::kChunkRows));
        QCOMPARE(log.value(DataLog::kChunkRows + 1, 0), float(3000 + DataLog::kChunkRows + 1));
        QCOMPARE(log.lowerBound(81), std::int64_t(3));
        QCOMPARE(log.lowerBound(80), std::int64_t(2));
        QCOMPARE(log.rowAt(119), std::int64_t(2));
        QCOMPARE(log.rowAt(-5), std::int64_t(0));
        QCOMPARE(log.lowerBound(1 << 30), rows);
        QCOMPARE(log.durationMs(), std::int32_t((rows - 1) * 40));
        // Time never goes back; a refused row changes nothing.
        QVERIFY(!log.append(sampleAt(5, 0)));
        QCOMPARE(log.size(), rows);
        // Three chunks of plain arrays: 14 values of 4 bytes a row.
        QCOMPARE(log.bytes(), std::int64_t(3 * DataLog::kChunkRows * 14 * 4));
    }

    void headerNamesEveryChannelWithItsUnit() {
        QCOMPARE(DataLogFile::header(DataLogFile::Format::Csv),
                 QByteArray("Time (s),Sample,RPM (rpm),Vacuum (bar),Throttle (%),Lambda (V),Water (\xC2\xB0"
                            "C),Air (\xC2\xB0"
                            "C),POT (%),Battery (V),Injector pulse (ms),Injector duty (%),"
                            "Timing (\xC2\xB0),Fuel curve (1 Low 2 Cruise 3 High),Marker\n"));
        const QList<QByteArray> msl = DataLogFile::header(DataLogFile::Format::Msl).split('\n');
        QCOMPARE(msl.value(0),
                 QByteArray("Time\tSample\tRPM\tVacuum\tThrottle\tLambda\tWater\tAir\tPOT\tBattery\t"
                            "Injector pulse\tInjector duty\tTiming\tFuel curve\tMarker"));
        QVERIFY(msl.value(1).startsWith("s\t#\trpm\tbar\t%\tV\t"));
    }

    void roundTrip_data() {
        QTest::addColumn<int>("format");
        QTest::newRow("csv") << int(DataLogFile::Format::Csv);
        QTest::newRow("msl") << int(DataLogFile::Format::Msl);
    }
    void roundTrip() {
        QFETCH(int, format);
        const auto f = static_cast<DataLogFile::Format>(format);
        const DataLog log = shortRun();
        const QByteArray text = DataLogFile::text(f, log);
        DataLogFile::ReadResult r = DataLogFile::read(text);
        QVERIFY2(r.ok, qPrintable(r.error));
        QVERIFY2(r.warning.isEmpty(), qPrintable(r.warning));
        QCOMPARE(int(r.format), format);
        compareLogs(log, r.log);
        QCOMPARE(r.log.gaps(), std::int64_t(1));
        // And again through a file, identically.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run.") + DataLogFile::suffix(f));
        QCOMPARE(DataLogFile::save(r.log, path, f), QString());
        QFile back(path);
        QVERIFY(back.open(QIODevice::ReadOnly));
        QCOMPARE(back.readAll(), text);
    }

    // Numbers are written with a dot whatever the locale says.
    void dotDecimalsInAnyLocale() {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        std::setlocale(LC_ALL, "de_DE.UTF-8");
        const QByteArray text = DataLogFile::text(DataLogFile::Format::Csv, shortRun());
        std::setlocale(LC_ALL, "C");
        QLocale::setDefault(before);
        const QList<QByteArray> lines = text.split('\n');
        QVERIFY(lines.value(1).startsWith("0.101,1,3001,1.51,"));
        QVERIFY(lines.value(5).endsWith(",1 third gear 4000"));
        QCOMPARE(DataLogFile::read(text).log.size(), std::int64_t(22));
    }

    // A recording cut in the middle of a row: the row is reported by its line, the rows before it kept.
    void cutLastLineKeepsTheRowsBefore() {
        const QByteArray text = DataLogFile::text(DataLogFile::Format::Csv, shortRun());
        const qsizetype lastRow = text.lastIndexOf('\n', text.size() - 2);
        for (qsizetype cutAt : {lastRow + 3, text.size() - 1}) {
            DataLogFile::ReadResult r = DataLogFile::read(text.left(cutAt));
            QVERIFY(r.ok);
            QCOMPARE(r.log.size(), std::int64_t(21));
            QCOMPARE(r.badLine, 23);
            QVERIFY2(r.warning.startsWith(QStringLiteral("line 23: the row is cut short")),
                     qPrintable(r.warning));
        }
    }

    void malformedRowIsReportedByLine_data() {
        QTest::addColumn<QByteArray>("row");
        QTest::addColumn<QString>("why");
        const QByteArray rest = ",5,3000,1.5,50,0.45,85,20,49.8,13,6,15,12.5,2,";
        QTest::newRow("comma decimal") << QByteArray("1,500" + rest) << QStringLiteral("fields");
        QTest::newRow("word") << QByteArray("abc" + rest) << QStringLiteral("time");
        QTest::newRow("time back") << QByteArray("0.050" + rest) << QStringLiteral("goes back");
        QTest::newRow("value") << QByteArray("9.5,5,30x0,1.5,50,0.45,85,20,49.8,13,6,15,12.5,2,")
                               << QStringLiteral("RPM value");
        QTest::newRow("infinite") << QByteArray("9.5,5,3000,inf,50,0.45,85,20,49.8,13,6,15,12.5,2,")
                                  << QStringLiteral("Vacuum value");
        QTest::newRow("marker") << QByteArray("9.5" + rest + "x") << QStringLiteral("marker");
        QTest::newRow("empty line") << QByteArray() << QStringLiteral("fields");
        QTest::newRow("sample") << QByteArray("9.5,-1,3000,1.5,50,0.45,85,20,49.8,13,6,15,12.5,2,")
                                << QStringLiteral("sample number");
    }
    void malformedRowIsReportedByLine() {
        QFETCH(QByteArray, row);
        QFETCH(QString, why);
        QList<QByteArray> lines = DataLogFile::text(DataLogFile::Format::Csv, shortRun()).split('\n');
        lines.insert(6, row); // after the header and five rows
        DataLogFile::ReadResult r = DataLogFile::read(lines.join('\n'));
        QVERIFY(r.ok);
        QCOMPARE(r.badLine, 7);
        QCOMPARE(r.log.size(), std::int64_t(5));
        QCOMPARE(r.log.markers().size(), size_t(1)); // marker 1 on row 4 came before
        QVERIFY2(r.warning.startsWith(QStringLiteral("line 7: ")) && r.warning.contains(why),
                 qPrintable(r.warning));
    }

    void aFileThatIsNoLogIsRefused_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("settings file") << QByteArray("EMU settings v1.13\n1,2,3\n");
        QTest::newRow("other csv") << QByteArray("time,rpm\n0.1,3000\n");
        QTest::newRow("msl without units")
            << DataLogFile::header(DataLogFile::Format::Msl).split('\n').value(0) + "\n0.1\t1\n";
        QTest::newRow("header cut") << DataLogFile::header(DataLogFile::Format::Csv).chopped(1);
    }
    void aFileThatIsNoLogIsRefused() {
        QFETCH(QByteArray, text);
        const DataLogFile::ReadResult r = DataLogFile::read(text);
        QVERIFY(!r.ok);
        QVERIFY(!r.error.isEmpty());
        QCOMPARE(r.log.size(), std::int64_t(0));
    }

    // A recorder killed at any moment leaves a file whose every complete row reads back.
    void killedWriterLeavesAReadableFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("killed.csv"));
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            DataLogWriter w;
            if (!w.open(path, DataLogFile::Format::Csv).isEmpty())
                _exit(2);
            for (std::uint32_t n = 0;; ++n) {
                w.append(sampleAt(static_cast<std::int32_t>(n), n));
                if (n % 50 == 0)
                    usleep(1000);
            }
        }
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path).size() > 20000, 5000);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        QVERIFY(WIFSIGNALED(status));
        const DataLogFile::ReadResult r = DataLogFile::readFile(path);
        QVERIFY2(r.ok, qPrintable(r.error));
        QVERIFY(r.log.size() > 100);
        for (std::int64_t i = 0; i < r.log.size(); ++i)
            QCOMPARE(r.log.value(i, 0), float(3000 + i));
        // Unbuffered: what was written is whole rows, at most the last one cut.
        QVERIFY(r.warning.isEmpty() || r.badLine == r.log.size() + 2);
    }

    void writerAppendsRowsAsTheyCome() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run.msl"));
        DataLogWriter w;
        QCOMPARE(w.open(path, DataLogFile::formatFor(path)), QString());
        QCOMPARE(w.format(), DataLogFile::Format::Msl);
        LogMarker m{1, 0, QStringLiteral("start")};
        QVERIFY(w.append(sampleAt(0, 1), &m));
        // Readable before the writer closes.
        DataLogFile::ReadResult r = DataLogFile::readFile(path);
        QVERIFY(r.ok);
        QCOMPARE(r.log.size(), std::int64_t(1));
        QCOMPARE(r.log.markers().at(0).note, QStringLiteral("start"));
        QVERIFY(w.append(gapAt(100, 2)));
        w.close();
        r = DataLogFile::readFile(path);
        QCOMPARE(r.log.size(), std::int64_t(2));
        QCOMPARE(r.log.gaps(), std::int64_t(1));
        QVERIFY(!w.append(sampleAt(200, 3)));
        QVERIFY(!w.open(dir.filePath(QStringLiteral("missing/run.csv")), DataLogFile::Format::Csv).isEmpty());
    }

    // Replay moves with the wall clock times the speed and shows the row at or before its time.
    void replayFollowsTheClockAtItsSpeed() {
        const DataLog log = shortRun(); // rows at 101, 202, ... 2020 ms, a gap at 2150, a row at 2900
        LogReplay replay;
        QSignalSpy moved(&replay, &LogReplay::positionChanged);
        replay.setLog(&log);
        QCOMPARE(replay.position(), 101);
        replay.setSpeed(8);
        replay.advance(100); // 800 ms of the log
        QCOMPARE(replay.position(), 901);
        QCOMPARE(replay.row(), std::int64_t(7)); // 808 ms
        replay.setSpeed(0.25);
        replay.advance(10); // a fraction of a millisecond per step adds up
        replay.advance(10);
        QCOMPARE(replay.position(), 906);
        replay.setSpeed(100); // beyond the choices: 8x
        QCOMPARE(replay.speed(), 8.0);
        replay.seek(2200);
        QVERIFY(liveFromLog(log, replay.row()).stale); // the gap row
        replay.play();
        QVERIFY(replay.playing());
        replay.advance(1000);
        QCOMPARE(replay.position(), 2900); // stops at the end
        QVERIFY(!replay.playing());
        replay.seek(-5);
        QCOMPARE(replay.position(), 0);
        QVERIFY(moved.count() >= 5);
    }

    void replayedRowsGiveTheLiveValuesBack() {
        DataLog log;
        LogSample s = sampleAt(0, 1);
        LiveValues v;
        v.RpmHundreds = 45;
        v.Vacuum = 1.51;
        v.ThrottlePercent = 62;
        v.LambdaHundredths = 45;
        v.WaterTemp = 88;
        v.AirTemp = -3;
        v.PotPercent = 49.8;
        v.BatteryTenths = 131;
        v.InjectorTenthsMs = 61;
        v.InjectorDuty = 17;
        v.LiveTiming = 12.5;
        for (int c = 0; c < LogChannels::kCount; ++c)
            s.values[static_cast<size_t>(c)] = static_cast<float>(LogChannels::at(c).fromLive(v));
        log.append(s);
        const LiveValues back = liveFromLog(log, 0);
        QCOMPARE(back.RpmHundreds, 45.0);
        QCOMPARE(back.Vacuum, 1.51);
        QCOMPARE(back.LambdaHundredths, 45.0);
        QCOMPARE(back.AirTemp, -3.0);
        QCOMPARE(back.PotPercent, 49.8);
        QCOMPARE(back.BatteryTenths, 131.0);
        QCOMPARE(back.InjectorTenthsMs, 61.0);
        QCOMPARE(back.InjectorDuty, 17);
        QCOMPARE(back.LiveTiming, 12.5);
        QVERIFY(back.received && !back.stale);
    }
};

QTEST_GUILESS_MAIN(TestDataLog)
#include "tst_datalog.moc"
