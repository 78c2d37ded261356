// A recorded log opened on the "Data Logger" page and replayed: the read-outs and dials follow the
// log, the window says it is a replay, and the unit is sent nothing meanwhile.
#include "e2e_helpers.h"

#include "controls/TA3nalogGauge.h"
#include "monitor/DataLog.h"
#include "monitor/DataLogFile.h"
#include "monitor/DataLoggerPage.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/LiveDisplays.h"
#include "monitor/LogReplay.h"
#include "monitor/TRT.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QSet>
#include <QTabWidget>
#include <QTest>

#include <qcustomplot.h>

namespace {

const QByteArray kSample("\x1f\x81\x33\x2e\x56\x29\x80\x83\x3d\x01", 10); // 3000 RPM

// Ten seconds of a run: RPM climbing from 2000 to 6500, a marker at 5 s.
DataLog climb() {
    DataLog log;
    for (std::uint32_t n = 0; n <= 100; ++n) {
        LogSample s;
        s.timeMs = static_cast<std::int32_t>(n * 100);
        s.sample = n + 1;
        s.values = {static_cast<float>(2000 + 45 * n), 0.8f, 40, 0.9f, 90, 25, 50, 12.5f, 5, 20, 15, 2};
        log.append(s);
    }
    log.addMarker(50, QStringLiteral("third gear"));
    return log;
}

} // namespace

class TestReplay : public QObject {
    Q_OBJECT

  private slots:
    void replayDrivesTheDisplaysAndSendsNothing() {
        Bench bench;
        EmuSimulator& unit = bench.addUnit(2, unitConfig(3));
        unit.setFixedFrame(kSample);
        TForm1& w = bench.window();
        QVERIFY(connectTo(w, unit));
        QVERIFY(waitUntil([&] { return rtText(w, 1, "Label50") == QLatin1String("3000"); }));
        const QString path = bench.dir.filePath(QStringLiteral("climb.csv"));
        QCOMPARE(DataLogFile::save(climb(), path, DataLogFile::Format::Csv), QString());

        DataLoggerPage* logger = w.dataLogger();
        w.findChild<QTabWidget*>()->setCurrentWidget(logger);
        bench.prompts.logNames << path;
        button(w, "OpenLogButton")->click();
        QVERIFY(logger->replaying());
        QTest::qWait(100); // a poll in flight ends
        unit.clearRecord();
        w.liveDisplays().flush();
        // The first row is shown everywhere, plainly as a replay.
        for (int n = 1; n <= 4; ++n)
            QCOMPARE(rtText(w, n, "Label50"), QStringLiteral("2000"));
        QCOMPARE(w.engineMonitor()->gauge(QStringLiteral("RPMGauge"))->value(), 20.0);
        QVERIFY2(w.statusText(0).contains(QStringLiteral("Replay of climb.csv")),
                 qPrintable(w.statusText(0)));
        auto* banner = logger->findChild<QLabel*>(QStringLiteral("ReplayBanner"));
        QVERIFY(banner->isVisible());
        QVERIFY(banner->text().startsWith(QStringLiteral("REPLAY of climb.csv")));
        QCOMPARE(logger->chart()->xAxis->range().upper, 10.0); // the whole run
        QCOMPARE(logger->log().markers().size(), size_t(1));

        // Played at 8x: the ten seconds take about 1.3 s; the displays end on the last row.
        logger->findChild<QComboBox*>(QStringLiteral("ReplaySpeed"))->setCurrentIndex(5);
        button(w, "PlayButton")->click();
        QVERIFY(logger->replay().playing());
        QSet<QString> shown;
        QElapsedTimer took;
        took.start();
        QVERIFY(waitUntil(
            [&] {
                shown << rtText(w, 1, "Label50");
                return !logger->replay().playing();
            },
            4000));
        QVERIFY2(took.elapsed() > 900 && took.elapsed() < 2500, qPrintable(QString::number(took.elapsed())));
        QVERIFY2(shown.size() >= 10, qPrintable(QStringList(shown.values()).join(u' '))); // the RPM climbed
        w.liveDisplays().flush();
        QCOMPARE(rtText(w, 2, "Label50"), QStringLiteral("6500"));
        QCOMPARE(rtText(w, 2, "Label55"), QStringLiteral("12.5"));
        QCOMPARE(w.engineMonitor()->gauge(QStringLiteral("RPMGauge"))->value(), 65.0);
        QCOMPARE(logger->legendText(0), QStringLiteral("RPM: 6500 rpm"));

        // The slider moves the replay back.
        logger->replay().seek(6000);
        w.liveDisplays().flush();
        QCOMPARE(rtText(w, 3, "Label50"), QStringLiteral("4700"));
        QCOMPARE(commandBytes(unit), QList<int>()); // nothing was sent while replaying

        // "On" goes live again: the poll comes back and the displays follow the unit.
        logger->findChild<QAbstractButton*>(QStringLiteral("SpeedButton1"))->click();
        QVERIFY(!logger->replaying());
        QVERIFY(waitUntil([&] { return commandBytes(unit).contains(0xFC); }, 3000));
        QVERIFY(waitUntil([&] { return rtText(w, 1, "Label50") == QLatin1String("3000"); }, 3000));
        QVERIFY(!w.statusText(0).contains(QStringLiteral("Replay")));
        logger->findChild<QAbstractButton*>(QStringLiteral("SpeedButton2"))->click();
    }

    // A damaged log opens with its good rows and says where it broke; a file that is no log is
    // refused and the chart keeps what it had.
    void damagedAndForeignFilesAreReported() {
        Bench bench;
        TForm1& w = bench.window();
        DataLoggerPage* logger = w.dataLogger();
        const QString cut = bench.dir.filePath(QStringLiteral("cut.csv"));
        QFile f(cut);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(DataLogFile::text(DataLogFile::Format::Csv, climb()).chopped(4));
        f.close();
        const QString other = bench.dir.filePath(QStringLiteral("other.csv"));
        QFile o(other);
        QVERIFY(o.open(QIODevice::WriteOnly));
        o.write("date,amount\n2026-01-01,3\n");
        o.close();

        bench.prompts.expect(QStringLiteral("is damaged at line 102"));
        bench.prompts.expect(QStringLiteral("other.csv was not opened"));
        bench.prompts.logNames << cut << other;
        button(w, "OpenLogButton")->click();
        QVERIFY(logger->replaying());
        QCOMPARE(logger->log().size(), std::int64_t(100));
        QCOMPARE(bench.prompts.errors.size(), 1);
        button(w, "OpenLogButton")->click();
        QCOMPARE(bench.prompts.errors.size(), 2);
        QCOMPARE(logger->log().size(), std::int64_t(100));
        QVERIFY(logger->replayFile().endsWith(QStringLiteral("cut.csv")));
    }
};

QTEST_MAIN(TestReplay)
#include "tst_replay.moc"
