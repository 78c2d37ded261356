#include "monitor/DataLoggerPage.h"
#include "monitor/LogTraceDisplay.h"
#include "monitor/TThreadedTimer.h"

#include "monitor/DataLogFile.h"
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <qcustomplot.h>

#include "controls_helpers.h"

#include <cmath>

namespace {

// A page whose ticks come from the test, on a clock the test moves.
struct Logger {
    EmuState state;
    long long now = 100000;
    DataLoggerPage page{state};

    explicit Logger(int intervalMs = 100, bool connected = true) {
        state.link.EmuConnected = connected;
        state.live = sampleValues();
        page.setClock([this] { return now; });
        page.selectInterval(intervalMs);
        page.SpeedButton1Click();
        page.dataLogTimer().setEnabled(false);
    }
    // A frame read at the given milliseconds after the start, then a tick some time later.
    void frameAndTick(long long readAfterStart, long long tickDelay = 5) {
        state.live.readMs = start() + readAfterStart;
        ++state.live.frame;
        now = state.live.readMs + tickDelay;
        page.ThreadedTimer1Timer();
    }
    long long start() const { return page.clock().startMs(); }
    LogTraceDisplay* rpm() const { return page.series(0); }
};

} // namespace

class TestDataLogger : public QObject {
    Q_OBJECT

  private slots:
    void onUsesTheChosenIntervalOnAFixedSchedule() {
        EmuState state;
        DataLoggerPage page(state);
        QCOMPARE(page.selectedInterval(), 0);
        page.SpeedButton1Click(); // none chosen: the usual 100 ms
        QCOMPARE(page.selectedInterval(), 100);
        QCOMPARE(page.dataLogTimer().Interval(), 100);
        QVERIFY(page.dataLogTimer().Paced());
        QVERIFY(page.dataLogTimer().Enabled());
        QCOMPARE(page.clock().step(), 0.1);
        page.SpeedButton2Click();
        QVERIFY(!page.dataLogTimer().Enabled());
    }

    // The x of a sample is when its frame was read, whenever the tick came; a tick that finds no
    // newer frame adds nothing.
    void samplesAreStampedWithTheirFramesReadTime() {
        Logger log;
        log.frameAndTick(37);
        log.frameAndTick(141, 60);      // a late tick
        log.page.ThreadedTimer1Timer(); // no frame since: no copy
        log.now += 100;
        log.page.ThreadedTimer1Timer();
        log.frameAndTick(263);
        QCOMPARE(log.rpm()->dataCount(), 3);
        QCOMPARE(log.rpm()->key(0), 0.037);
        QCOMPARE(log.rpm()->key(1), 0.141);
        QCOMPARE(log.rpm()->key(2), 0.263);
        QCOMPARE(log.rpm()->value(2), 3000.0);
        QCOMPARE(log.page.clock().count(), 3);
    }

    void framesFromBeforeTheStartAreNotLogged() {
        Logger log;
        log.state.live.readMs = log.start() - 10;
        log.page.ThreadedTimer1Timer();
        QCOMPARE(log.rpm()->dataCount(), 0);
    }

    // A silent unit: one break in the lines at the time the silence was seen, then nothing until
    // frames come again.
    void silenceIsOneGapNeverACopy() {
        Logger log;
        log.frameAndTick(40);
        log.state.live.stale = true;
        log.now = log.start() + 400;
        log.page.ThreadedTimer1Timer();
        log.now += 100;
        log.page.ThreadedTimer1Timer();
        log.state.live.stale = false;
        log.frameAndTick(900);
        for (int i = 0; i < DataLoggerPage::kSeriesCount; ++i)
            QCOMPARE(log.page.series(i)->dataCount(), 3);
        QCOMPARE(log.rpm()->key(1), 0.4);
        QVERIFY(std::isnan(log.rpm()->value(1)));
        QCOMPARE(log.rpm()->key(2), 0.9);
    }

    void windowJumpsAfterThirtySeconds() {
        Logger log(1000);
        QCOMPARE(log.page.dataLogTimer().Interval(), 1000);
        for (int i = 0; i <= 30; ++i)
            log.frameAndTick(i * 1000);
        QCOMPARE(log.page.chart()->xAxis->range().lower, 0.0); // the sample at 30 s stays
        log.frameAndTick(31000);
        QCOMPARE(log.page.chart()->xAxis->range().lower, 30.0);
        QCOMPARE(log.page.chart()->xAxis->range().upper, 60.0);
        QCOMPARE(log.rpm()->dataCount(), 32);

        log.page.SpeedButton2Click();
        log.now += 5000;
        log.page.SpeedButton1Click(); // Off then On: cleared, time 0, axis 0..30
        log.page.dataLogTimer().setEnabled(false);
        QCOMPARE(log.rpm()->dataCount(), 0);
        QCOMPARE(log.page.chart()->xAxis->range().lower, 0.0);
        log.frameAndTick(12);
        QCOMPARE(log.rpm()->key(0), 0.012);
    }

    // Unchecking a value hides its line and its scale; the log keeps the channel.
    void uncheckedValueHidesItsLine() {
        Logger log;
        log.frameAndTick(0);
        log.frameAndTick(100);
        auto* box = log.page.findChild<QCheckBox*>(QStringLiteral("LogVacuum"));
        box->setChecked(false);
        log.frameAndTick(200);
        QVERIFY(!log.page.series(2)->visible());
        QCOMPARE(log.page.series(2)->dataCount(), 3);
        QCOMPARE(float(log.page.series(2)->value(2)), 1.51f);
        QCOMPARE(log.page.log().value(2, 1), 1.51f);
        const auto axisShown = [&](const QString& label) {
            for (QCPAxis* a : log.page.chart()->axisRect()->axes())
                if (a->label() == label)
                    return a->visible();
            return false;
        };
        QVERIFY(!axisShown(QStringLiteral("Vacuum (bar)")));
        QVERIFY(axisShown(QStringLiteral("RPM (rpm)")));
        box->setChecked(true);
        QVERIFY(log.page.series(2)->visible());
        QVERIFY(axisShown(QStringLiteral("Vacuum (bar)")));
        QCOMPARE(log.rpm()->key(2), 0.2);
    }

    // The cursor reads every channel at its time, in its unit.
    void legendReadsEveryValueAtTheCursor() {
        Logger log;
        log.frameAndTick(0);
        log.state.live.RpmHundreds = 45;
        log.frameAndTick(100);
        log.page.setCursorTime(0.05);
        QCOMPARE(log.page.legendText(0), QStringLiteral("RPM: 3000 rpm"));
        QCOMPARE(log.page.legendText(2), QStringLiteral("Vacuum: 1.51 bar"));
        QCOMPARE(log.page.legendText(4), QStringLiteral("Volt: 13 V"));
        log.page.setCursorTime(0.1);
        QCOMPARE(log.page.legendText(0), QStringLiteral("RPM: 4500 rpm"));
        QCOMPARE(log.page.series(0)->name(), QStringLiteral("RPM: 4500 rpm"));
        QCOMPARE(log.page.series(3)->name(), QStringLiteral("Lambda: 0.45 V"));
    }

    // Colours from the Okabe-Ito set; a colour used twice is told apart by its dashes.
    void seriesAreToldApart() {
        Logger log;
        QSet<QPair<QRgb, int>> seen;
        for (int i = 0; i < DataLoggerPage::kSeriesCount; ++i) {
            const QPen pen = log.page.series(i)->pen();
            QVERIFY(!seen.contains({pen.color().rgb(), int(pen.style())}));
            seen.insert({pen.color().rgb(), int(pen.style())});
        }
        QCOMPARE(log.page.series(0)->pen().color(), QColor(0xD5, 0x5E, 0x00));
        QCOMPARE(log.page.series(4)->pen().color(), QColor(0x00, 0x72, 0xB2));
        QCOMPARE(log.page.series(8)->pen().style(), Qt::DashLine); // throttle: Volt's blue, dashed
    }

    void noUnitDrawsNothing() {
        Logger log(100, false);
        for (int i = 0; i < 5; ++i)
            log.frameAndTick(i * 100);
        for (int i = 0; i < DataLoggerPage::kSeriesCount; ++i)
            QCOMPARE(log.page.series(i)->dataCount(), 0);
    }

    // Closing while recording: the worker is joined at once and no tick runs after.
    void destroyingWhileRecordingJoins() {
        EmuState state;
        state.link.EmuConnected = true;
        auto* page = new DataLoggerPage(state);
        page->selectInterval(50);
        page->SpeedButton1Click();
        QTest::qWait(120);
        QElapsedTimer clock;
        clock.start();
        delete page;
        QVERIFY(clock.elapsed() < 200);
        QCoreApplication::processEvents();
    }

    // "Record to File": every sample, gap and marker goes to a file named by date, time and unit
    // in the chosen folder, readable while it is written.
    void recordsEveryRowToAFile() {
        QTemporaryDir dir;
        EmuState state;
        state.link.EmuConnected = true;
        state.link.SerialNumberText = QStringLiteral("AB-010203-04");
        state.live = sampleValues();
        long long now = 5000;
        DataLoggerPage page(state);
        page.setClock([&] { return now; });
        DataLoggerHooks hooks;
        int asked = 0;
        hooks.chooseFolder = [&](const QString&) {
            ++asked;
            return dir.path();
        };
        hooks.fuelCurve = [] { return 2; };
        page.setHooks(hooks);
        QSignalSpy chosen(&page, &DataLoggerPage::logFolderChosen);
        auto* record = page.findChild<QCheckBox*>(QStringLiteral("RecordToFile"));
        QVERIFY(record->isEnabled());
        record->click(); // no folder yet: asked once, remembered
        QCOMPARE(asked, 1);
        QCOMPARE(chosen.count(), 1);
        QVERIFY(record->isChecked());
        QVERIFY(page.recordingPath().isEmpty()); // starts with "On"
        page.SpeedButton1Click();
        page.dataLogTimer().setEnabled(false);
        const QString path = page.recordingPath();
        QVERIFY(QFileInfo(path).fileName().endsWith(QStringLiteral(" EMU AB-010203-04.csv")));
        QCOMPARE(QFileInfo(path).absolutePath(), QDir(dir.path()).absolutePath());
        const auto frameAndTick = [&](long long at) {
            state.live.readMs = page.clock().startMs() + at;
            ++state.live.frame;
            now = state.live.readMs + 3;
            page.ThreadedTimer1Timer();
        };
        frameAndTick(40);
        page.findChild<QLineEdit*>(QStringLiteral("MarkerNote"))->setText(QStringLiteral("full throttle"));
        page.findChild<QPushButton*>(QStringLiteral("MarkerButton"))->click();
        frameAndTick(140);
        state.live.stale = true;
        now += 300;
        page.ThreadedTimer1Timer();
        DataLogFile::ReadResult r = DataLogFile::readFile(path); // while recording
        QVERIFY2(r.ok && r.warning.isEmpty(), qPrintable(r.error + r.warning));
        QCOMPARE(r.log.size(), std::int64_t(3));
        QCOMPARE(r.log.timeMs(1), 140);
        QCOMPARE(r.log.value(0, 0), 3000.f);
        QCOMPARE(r.log.value(0, 1), 1.51f);
        QCOMPARE(r.log.value(0, LogChannels::kFuelCurve), 2.f);
        QCOMPARE(r.log.markers().size(), size_t(1));
        QCOMPARE(r.log.markers()[0].row, std::int64_t(1));
        QCOMPARE(r.log.markers()[0].note, QStringLiteral("full throttle"));
        QCOMPARE(r.log.gaps(), std::int64_t(1));
        page.SpeedButton2Click(); // "Off" ends the file
        QVERIFY(page.recordingPath().isEmpty());
        QVERIFY(record->isChecked());
        // The next "On" is a new file; the folder is not asked again.
        now += 1500;
        page.SpeedButton1Click();
        QCOMPARE(asked, 1);
        QVERIFY(!page.recordingPath().isEmpty());
        QVERIFY(page.recordingPath() != path);
        record->click();
        QVERIFY(page.recordingPath().isEmpty());
    }

    // Checking "Record to File" while logging writes what the chart holds, then goes on.
    void recordingStartedLateHoldsTheWholeRun() {
        QTemporaryDir dir;
        Logger log;
        log.page.setLogFolder(dir.path());
        log.page.setRecordFormat(DataLogFile::Format::Msl);
        log.page.dataLogTimer().setEnabled(true); // logging
        log.frameAndTick(10);
        log.frameAndTick(110);
        log.page.findChild<QCheckBox*>(QStringLiteral("RecordToFile"))->click();
        log.frameAndTick(210);
        QVERIFY(log.page.recordingPath().endsWith(QStringLiteral(".msl")));
        const DataLogFile::ReadResult r = DataLogFile::readFile(log.page.recordingPath());
        QCOMPARE(r.format, DataLogFile::Format::Msl);
        QCOMPARE(r.log.size(), std::int64_t(3));
        log.page.dataLogTimer().setEnabled(false);
    }

    // "On" while a log runs asks first; "No" keeps every sample and the file.
    void onDuringARecordingAsksBeforeClearing() {
        Logger log;
        QStringList asked;
        bool answer = false;
        DataLoggerHooks hooks;
        hooks.confirm = [&](const QString& q) {
            asked << q;
            return answer;
        };
        log.page.setHooks(hooks);
        log.page.dataLogTimer().setEnabled(true);
        log.frameAndTick(10);
        log.page.SpeedButton1Click();
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].contains(QStringLiteral("recording is running")));
        QCOMPARE(log.page.log().size(), std::int64_t(1));
        QVERIFY(log.page.logging());
        answer = true;
        log.page.SpeedButton1Click();
        QCOMPARE(asked.size(), 2);
        QCOMPARE(log.page.log().size(), std::int64_t(0));
        // Off, then On: nothing runs, nothing asked.
        log.page.SpeedButton2Click();
        log.page.SpeedButton1Click();
        QCOMPARE(asked.size(), 2);
        log.page.dataLogTimer().setEnabled(false);
    }

    void aFolderThatFailsSaysSoAndStops() {
        Logger log;
        QStringList errors;
        DataLoggerHooks hooks;
        hooks.showError = [&](const QString& e) { errors << e; };
        hooks.chooseFolder = [](const QString&) { return QString(); };
        log.page.setHooks(hooks);
        auto* record = log.page.findChild<QCheckBox*>(QStringLiteral("RecordToFile"));
        record->click(); // no folder, chooser cancelled: stays off
        QVERIFY(!record->isChecked());
        QVERIFY(errors.isEmpty());
    }

    // Space on the page drops a numbered marker on the next sample, with the note typed; a space
    // typed into the note stays in the note.
    void spaceDropsANumberedMarker() {
        Logger log;
        log.page.resize(900, 600);
        log.page.show();
        log.page.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&log.page));
        log.frameAndTick(20);
        auto* note = log.page.findChild<QLineEdit*>(QStringLiteral("MarkerNote"));
        note->setFocus();
        QTest::keyClicks(note, QStringLiteral("3rd gear"));
        QCOMPARE(note->text(), QStringLiteral("3rd gear"));
        log.frameAndTick(120);
        QVERIFY(log.page.log().markers().empty());
        log.page.chart()->setFocus();
        QTest::keyClick(log.page.chart(), Qt::Key_Space);
        log.frameAndTick(220);
        QTest::keyClick(log.page.chart(), Qt::Key_Space);
        log.frameAndTick(320);
        const auto& markers = log.page.log().markers();
        QCOMPARE(markers.size(), size_t(2));
        QCOMPARE(markers[0].number, 1);
        QCOMPARE(markers[0].row, std::int64_t(2));
        QCOMPARE(markers[0].note, QStringLiteral("3rd gear"));
        QCOMPARE(markers[1].number, 2);
        QVERIFY(markers[1].note.isEmpty());
        QVERIFY(note->text().isEmpty());
        QCOMPARE(log.page.chart()->itemCount(), 5); // the cursor, and a line and a label each
        // Off: no markers.
        log.page.SpeedButton2Click();
        QVERIFY(!log.page.findChild<QPushButton*>(QStringLiteral("MarkerButton"))->isEnabled());
    }
};

QTEST_MAIN(TestDataLogger)
#include "tst_datalogger.moc"
