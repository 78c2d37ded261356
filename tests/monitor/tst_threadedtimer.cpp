#include "monitor/TThreadedTimer.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTest>

class TestThreadedTimer : public QObject {
    Q_OBJECT

  private slots:
    void ticksAtItsInterval() {
        TThreadedTimer timer;
        QVector<qint64> at;
        QElapsedTimer clock;
        connect(&timer, &TThreadedTimer::OnTimer, this, [&] { at << clock.elapsed(); });
        timer.setInterval(30);
        clock.start();
        timer.setEnabled(true);
        QTRY_VERIFY_WITH_TIMEOUT(at.size() >= 5, 5000);
        timer.setEnabled(false);
        QVERIFY(at.first() >= 29); // a whole interval after enabling
        QCOMPARE(quint64(at.size()), timer.ticks());
    }

    void disabledTimerNeverTicks() {
        TThreadedTimer timer;
        int ticks = 0;
        connect(&timer, &TThreadedTimer::OnTimer, this, [&] { ++ticks; });
        timer.setInterval(5);
        QTest::qWait(60);
        QCOMPARE(ticks, 0);
        timer.setInterval(0); // zero without AllowZero does not run
        timer.setEnabled(true);
        QTest::qWait(60);
        QCOMPARE(ticks, 0);
        timer.setInterval(-15); // a negative interval never runs
        QTest::qWait(60);
        QCOMPARE(ticks, 0);
    }

    // A restart signals the event: the wait starts again and no tick comes in between.
    void restartProducesNoTick() {
        TThreadedTimer timer;
        int ticks = 0;
        connect(&timer, &TThreadedTimer::OnTimer, this, [&] { ++ticks; });
        timer.setInterval(80);
        timer.setEnabled(true);
        for (int i = 0; i < 6; ++i) {
            QTest::qWait(40);
            timer.setEnabled(false);
            timer.setEnabled(true);
        }
        QCOMPARE(ticks, 0);
        QTRY_COMPARE_WITH_TIMEOUT(ticks, 1, 2000);
    }

    // While the receiving thread is busy the tick waits for it: late, never twice.
    void busyReceiverGetsOneTickPerWait() {
        TThreadedTimer timer;
        int ticks = 0;
        connect(&timer, &TThreadedTimer::OnTimer, this, [&] { ++ticks; });
        timer.setInterval(10);
        timer.setEnabled(true);
        QThread::msleep(200); // the event loop does not run
        QCoreApplication::processEvents();
        QCOMPARE(ticks, 1);
        timer.setEnabled(false);
    }

    void intervalChangeRestartsTheWait() {
        TThreadedTimer timer;
        QVector<qint64> at;
        QElapsedTimer clock;
        connect(&timer, &TThreadedTimer::OnTimer, this, [&] { at << clock.elapsed(); });
        timer.setInterval(500);
        timer.setEnabled(true);
        QTest::qWait(100);
        clock.start();
        timer.setInterval(40);
        QVERIFY(timer.Enabled());
        QTRY_VERIFY_WITH_TIMEOUT(at.size() >= 3, 3000);
        QVERIFY(at.first() >= 39 && at.first() < 400);
    }

    // Destruction while a tick waits for the busy receiver returns at once and joins the worker.
    void destructionJoinsTheWorker() {
        auto* timer = new TThreadedTimer;
        int ticks = 0;
        connect(timer, &TThreadedTimer::OnTimer, this, [&] { ++ticks; });
        timer->setInterval(1);
        timer->setAllowZero(true);
        timer->setEnabled(true);
        QThread::msleep(30); // a tick is now waiting for this thread
        QElapsedTimer clock;
        clock.start();
        delete timer;
        QVERIFY(clock.elapsed() < 200);
        QCoreApplication::processEvents(); // the dropped tick must not run
        QCOMPARE(ticks, 0);
    }

    void zeroIntervalRunsWithAllowZero() {
        TThreadedTimer timer;
        int ticks = 0;
        connect(&timer, &TThreadedTimer::OnTimer, this, [&] { ++ticks; });
        timer.setAllowZero(true);
        timer.setInterval(0);
        timer.setEnabled(true);
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= 20, 2000);
    }

    // Paced: the handler's own time does not add to the period; the ticks keep to the schedule
    // and a busy stretch skips ticks rather than making them up.
    void pacedTicksKeepToTheSchedule() {
        TThreadedTimer timer;
        timer.setPaced(true);
        QVector<qint64> at;
        QElapsedTimer clock;
        connect(&timer, &TThreadedTimer::OnTimer, this, [&] {
            at << clock.elapsed();
            QTest::qSleep(at.size() == 3 ? 130 : 15); // each tick takes 15 ms, the third 130 ms
        });
        timer.setInterval(40);
        clock.start();
        timer.setEnabled(true);
        QTRY_VERIFY_WITH_TIMEOUT(at.size() >= 10, 5000);
        timer.setEnabled(false);
        // Ticks sit on multiples of 40 ms (within the scheduler's slack), none twice.
        for (int i = 0; i < 10; ++i) {
            const qint64 slot = (at[i] + 20) / 40;
            QVERIFY2(std::abs(at[i] - slot * 40) <= 15, qPrintable(QString::number(at[i])));
            if (i > 0)
                QVERIFY(slot > (at[i - 1] + 20) / 40);
        }
        // Ten ticks over the busy stretch: without pacing they would have taken 10 x 55 ms.
        QVERIFY2(at[9] < 600, qPrintable(QString::number(at[9])));
    }
};

QTEST_GUILESS_MAIN(TestThreadedTimer)
#include "tst_threadedtimer.moc"
