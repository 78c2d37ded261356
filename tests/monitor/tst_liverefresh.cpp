#include "monitor/LiveRefresh.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

namespace {

LiveValues values(double rpm, double water = 85) {
    LiveValues v;
    v.RpmHundreds = rpm;
    v.WaterTemp = water;
    v.BatteryTenths = 130;
    v.received = true;
    return v;
}

LiveValues pushed(const QSignalSpy& spy, int i) {
    return spy.at(i).at(0).value<LiveValues>();
}

LiveRefresh::Fields changedAt(const QSignalSpy& spy, int i) {
    return spy.at(i).at(1).value<LiveRefresh::Fields>();
}

} // namespace

Q_DECLARE_METATYPE(LiveValues)

class TestLiveRefresh : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { qRegisterMetaType<LiveValues>(); }

    // Many values within one refresh: one push, the latest values, nothing in between.
    void coalescesToTheLatestValues() {
        LiveRefresh refresh;
        QSignalSpy spy(&refresh, &LiveRefresh::refresh);
        for (int rpm = 10; rpm <= 14; ++rpm)
            refresh.post(values(rpm));
        QCOMPARE(spy.count(), 0); // never at data rate, inside the poll's tick
        QVERIFY(refresh.pending());
        QVERIFY(spy.wait(1000));
        QTest::qWait(3 * LiveRefresh::kScreenRefreshMs);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(pushed(spy, 0).RpmHundreds, 14.0);
        QCOMPARE(changedAt(spy, 0), LiveRefresh::Fields(LiveRefresh::All)); // the first push shows all
        QVERIFY(!refresh.pending());
    }

    // After the first push only what differs from the screen is marked.
    void marksOnlyWhatChanged() {
        LiveRefresh refresh;
        QSignalSpy spy(&refresh, &LiveRefresh::refresh);
        refresh.post(values(30));
        refresh.flush();
        refresh.post(values(31));
        refresh.flush();
        QCOMPARE(spy.count(), 2);
        QCOMPARE(changedAt(spy, 1), LiveRefresh::Fields(LiveRefresh::Rpm));

        LiveValues hot = values(31, 95);
        hot.InjectorDuty = 12;
        refresh.post(hot);
        refresh.flush();
        QCOMPARE(changedAt(spy, 2), LiveRefresh::Fields(LiveRefresh::Water | LiveRefresh::Duty));

        LiveValues stale = hot;
        stale.stale = true;
        refresh.post(stale);
        refresh.flush();
        QCOMPARE(changedAt(spy, 3), LiveRefresh::Fields(LiveRefresh::Stale));
        QVERIFY(pushed(spy, 3).stale);
    }

    // Equal values, and a value that went and came back within one refresh, repaint nothing.
    void unchangedValuesPushNothing() {
        LiveRefresh refresh;
        QSignalSpy spy(&refresh, &LiveRefresh::refresh);
        refresh.post(values(30));
        refresh.flush();
        refresh.post(values(30));
        QVERIFY(!refresh.pending());
        refresh.post(values(45));
        refresh.post(values(30));
        refresh.flush();
        QCOMPARE(spy.count(), 1);

        // "NA" stays "NA": a NaN is the same as a NaN.
        LiveValues noTiming = values(30);
        noTiming.LiveTiming = std::nan("");
        refresh.post(noTiming);
        refresh.flush();
        QCOMPARE(changedAt(spy, 1), LiveRefresh::Fields(LiveRefresh::Timing));
        refresh.post(noTiming);
        QVERIFY(!refresh.pending());
        QCOMPARE(LiveRefresh::changedFields(noTiming, noTiming), LiveRefresh::Fields(0));
    }

    // The timer starts on the first change and is not pushed back by later ones: values that
    // keep coming still reach the screen while they come.
    void steadyValuesAreNotHeldBack() {
        LiveRefresh refresh;
        QSignalSpy spy(&refresh, &LiveRefresh::refresh);
        QElapsedTimer t;
        t.start();
        int rpm = 0;
        while (t.elapsed() < 200) {
            refresh.post(values(++rpm));
            QTest::qWait(2);
        }
        QVERIFY2(spy.count() >= 2, qPrintable(QString::number(spy.count())));
        QVERIFY(spy.count() < rpm);
        // Each push carries the values of its moment, in order.
        for (int i = 1; i < spy.count(); ++i)
            QVERIFY(pushed(spy, i).RpmHundreds > pushed(spy, i - 1).RpmHundreds);
    }
};

QTEST_GUILESS_MAIN(TestLiveRefresh)
#include "tst_liverefresh.moc"
