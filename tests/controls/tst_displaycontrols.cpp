#include "monitor/TRT.h"
#include "controls/TA3nalogGauge.h"
#include "controls/TALProgressBar.h"
#include "controls/TAutoSizeLabel.h"

#include <QCheckBox>
#include <QLabel>
#include <QTest>
#include <QToolButton>

#include <qcustomplot.h>

namespace {

LiveValues sampleValues() {
    LiveValues v;
    v.RpmHundreds = 30;
    v.Vacuum = 1.51;
    v.ThrottlePercent = 50;
    v.LambdaHundredths = 45;
    v.WaterTemp = 85;
    v.AirTemp = 20;
    v.PotPercent = 49.8;
    v.BatteryTenths = 130;
    v.InjectorTenthsMs = 60;
    v.LiveTiming = 12.5;
    v.InjectorDuty = 15;
    return v;
}

} // namespace

class TestDisplayControls : public QObject {
    Q_OBJECT

  private slots:
    void barShowsItsValueWithinItsRange_data() {
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("shown");
        QTest::newRow("inside") << 0.0 << 120.0 << 85.0 << 85.0;
        QTest::newRow("lambda right half 204") << 0.0 << 50.0 << 204.0 << 50.0;
        QTest::newRow("water 254") << 0.0 << 120.0 << 254.0 << 120.0;
        QTest::newRow("battery below its minimum") << 80.0 << 160.0 << 0.0 << 80.0;
        QTest::newRow("negative duty") << 0.0 << 100.0 << -3.0 << 0.0;
    }
    void barShowsItsValueWithinItsRange() {
        QFETCH(double, min);
        QFETCH(double, max);
        QFETCH(double, value);
        QFETCH(double, shown);
        TALProgressBar bar;
        bar.setRange(min, max);
        bar.setPosition(value);
        QCOMPARE(bar.position(), shown);
        QVERIFY(bar.fraction() >= 0 && bar.fraction() <= 1);
    }

    void needleRestsOnItsStops() {
        TA3nalogGauge g;
        g.setScaleValue(10);
        g.setAngle(120);
        g.setValue(36); // vacuum 3.6 bar on a 0..10 dial
        QCOMPARE(g.value(), 36.0);
        QVERIFY(g.needleDegrees() > 120);
        QCOMPARE(g.needleDegrees(), 120 + TA3nalogGauge::kStopDegrees);
        g.setValue(-5);
        QCOMPARE(g.needleDegrees(), -TA3nalogGauge::kStopDegrees);
        g.setValue(5);
        QCOMPARE(g.needleDegrees(), 60.0);
    }

    void rotatedLabelSizesToItsText() {
        TAutoSizeLabel flat(QStringLiteral("Lambda"), 0);
        TAutoSizeLabel side(QStringLiteral("Lambda"), 90);
        QCOMPARE(side.sizeHint(), flat.sizeHint().transposed());
        side.setAngle(268);
        QCOMPARE(side.angle(), 270);
    }

    void realTimeFrameStartsAtNA() {
        TRT rt(QStringLiteral("RT1"));
        QCOMPARE(rt.label("Label49")->text(), QStringLiteral("NA"));
        QCOMPARE(rt.label("Label50")->text(), QStringLiteral("NA"));
        QCOMPARE(rt.label("Label51")->text(), QStringLiteral("NA"));
        QCOMPARE(rt.bar("BATBar")->position(), 80.0);
        QCOMPARE(rt.bar("AirBar")->position(), -20.0);
    }

    void realTimeFrameShowsOneFrame() {
        TRT rt(QStringLiteral("RT1"));
        rt.showValues(sampleValues());
        QCOMPARE(rt.label("Label49")->text(), QStringLiteral("12.5"));
        QCOMPARE(rt.label("Label50")->text(), QStringLiteral("3000"));
        QCOMPARE(rt.label("Label51")->text(), QStringLiteral("1.51"));
        QCOMPARE(rt.label("Label53")->text(), QStringLiteral("85"));
        QCOMPARE(rt.label("Label55")->text(), QStringLiteral("13"));
        QCOMPARE(rt.label("Label56")->text(), QStringLiteral("0.45"));
        QCOMPARE(rt.label("Label10")->text(), QStringLiteral("6"));
        QCOMPARE(rt.label("Label13")->text(), QStringLiteral("15"));
        QCOMPARE(rt.bar("LambdaBarL")->position(), 5.0);
        QCOMPARE(rt.bar("LambdaBarR")->position(), 0.0);
        QCOMPARE(rt.bar("BATBar")->position(), 130.0);
        QCOMPARE(rt.bar("InjBar")->position(), 60.0);
    }

    void realTimeFrameEdgeReadings() {
        TRT rt(QStringLiteral("RT1"));
        LiveValues v = sampleValues();
        v.Vacuum = 3.6;
        v.ThrottlePercent = 120;
        v.RpmHundreds = -1;
        v.InjectorDuty = -1;
        rt.showValues(v);
        QCOMPARE(rt.label("Label51")->text(), QStringLiteral("Err"));
        QCOMPARE(rt.label("Label19")->text(), QStringLiteral("120"));
        QCOMPARE(rt.bar("TPSBar")->position(), 100.0);
        QCOMPARE(rt.label("Label50")->text(), QStringLiteral("-100"));
        QCOMPARE(rt.bar("InjPers")->position(), 0.0);
        QCOMPARE(rt.label("Label13")->text(), QStringLiteral("-1"));
    }

    void lambdaTargetMarkerSitsAtItsShare() {
        TRT rt(QStringLiteral("RT1"));
        rt.resize(300, 400);
        rt.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rt));
        rt.setLambdaTarget(0.45);
        QCOMPARE(rt.label("Label6")->text(), QStringLiteral(".45"));
        const int w = rt.lambdaPanel()->width();
        QCOMPARE(rt.targetMarker()->geometry().center().x() + 1 - rt.targetMarker()->width() % 2,
                 qRound(w * 0.45));
        QVERIFY(rt.targetMarker()->toolTip().contains(QStringLiteral("0.45V")));
    }
};

QTEST_MAIN(TestDisplayControls)
#include "tst_displaycontrols.moc"
