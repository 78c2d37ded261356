#include "controls/TA3nalogGauge.h"
#include "controls/TALProgressBar.h"
#include "controls/TAutoSizeLabel.h"
#include "monitor/DataLoggerPage.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/TRT.h"
#include "monitor/TThreadedTimer.h"

#include <QCheckBox>
#include <QLabel>
#include <QTest>
#include <QToolButton>

#include <qcustomplot.h>

#include "controls_helpers.h"

#include <cmath>

namespace {

// Where a label's text is drawn, in the coordinates of an ancestor.
QRect textRect(const QLabel* l, const QWidget* in) {
    const QRect c = l->contentsRect();
    const int w = l->fontMetrics().horizontalAdvance(l->text());
    const int h = l->fontMetrics().height();
    int x = c.left();
    if (l->alignment() & Qt::AlignHCenter)
        x = c.center().x() - w / 2;
    else if (l->alignment() & Qt::AlignRight)
        x = c.right() - w;
    int y = c.top();
    if (l->alignment() & Qt::AlignVCenter)
        y = c.center().y() - h / 2;
    else if (l->alignment() & Qt::AlignBottom)
        y = c.bottom() - h;
    return QRect(l->mapTo(in, QPoint(x, y)), QSize(w, h));
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

    // Every dial of the "Engine Monitor" page at its scale, on the page at common screen sizes:
    // the numbers stand on main ticks, never touch, and the caption is where the needle never
    // passes and clear of the numbers and the read-out.
    void dialWordsKeepApart_data() {
        QTest::addColumn<QSize>("pageSize");
        QTest::addColumn<int>("rpmRange");
        QTest::newRow("1366x768 laptop") << QSize(1366, 640) << 7000;
        QTest::newRow("1024x600 netbook") << QSize(1024, 480) << 7000;
        QTest::newRow("1920x1080") << QSize(1920, 940) << 7000;
        QTest::newRow("laptop, 10000 rpm") << QSize(1366, 640) << 10000;
        QTest::newRow("laptop, 16000 rpm") << QSize(1366, 640) << 16000;
    }
    void dialWordsKeepApart() {
        QFETCH(QSize, pageSize);
        QFETCH(int, rpmRange);
        EngineMonitorPage page;
        page.resize(pageSize);
        TA3nalogGauge* rpm = page.gauge(QStringLiteral("RPMGauge"));
        rpm->setScaleValue(rpmRange / 100.0);
        rpm->setNumberMainTicks(rpmRange / 1000);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        const QList<TA3nalogGauge*> dials = page.findChildren<TA3nalogGauge*>();
        QCOMPARE(dials.size(), 7);
        for (TA3nalogGauge* g : dials) {
            const QString name = g->objectName();
            const QList<TA3nalogGauge::Label> numbers = g->numberLabels();
            QVERIFY2(numbers.size() >= 2, qPrintable(name));
            QCOMPARE(numbers.first().text, QStringLiteral("0"));
            QCOMPARE(numbers.last().text.toDouble(), std::round(g->scaleValue() * 10) / 10);
            const QRectF inside = QRectF(g->rect());
            for (qsizetype i = 0; i < numbers.size(); ++i) {
                const TA3nalogGauge::Label& n = numbers[i];
                // On a main tick: the value of one of the main ticks, to the tenth shown.
                const double step = g->scaleValue() / g->numberMainTicks();
                const double ticks = n.text.toDouble() / step;
                QVERIFY2(std::abs(ticks - std::round(ticks)) * step <= 0.05 + 1e-9,
                         qPrintable(name + QLatin1Char(' ') + n.text));
                QVERIFY2(inside.contains(n.rect), qPrintable(name + QLatin1Char(' ') + n.text));
                for (qsizetype j = i + 1; j < numbers.size(); ++j)
                    QVERIFY2(!numbers[j].rect.adjusted(-1, -1, 1, 1).intersects(n.rect),
                             qPrintable(name + QStringLiteral(": ") + n.text + QStringLiteral(" touches ") +
                                        numbers[j].text));
                QVERIFY2(!n.rect.intersects(g->captionRect()), qPrintable(name + " caption on " + n.text));
                QVERIFY2(!n.rect.intersects(g->readoutRect()), qPrintable(name + " read-out on " + n.text));
            }
            const QRectF caption = g->captionRect();
            QVERIFY2(!caption.isEmpty(), qPrintable(name));
            QVERIFY2(inside.contains(caption), qPrintable(name + " caption outside the dial"));
            QVERIFY2(!g->needleCrosses(caption), qPrintable(name + " caption under the needle"));
            QVERIFY2(!caption.intersects(g->readoutRect()), qPrintable(name + " caption on the read-out"));
        }
        const QString dir = qEnvironmentVariable("EMU_PICTURE_DIR");
        if (!dir.isEmpty())
            QVERIFY(page.grab().save(QStringLiteral("%1/dials-%2x%3-%4.png")
                                         .arg(dir)
                                         .arg(pageSize.width())
                                         .arg(pageSize.height())
                                         .arg(rpmRange)));
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

    // The widest readings a frame can show, in the Setup tab's narrow column and in a page's wide
    // one: every text whole, no two neighbours touching.
    void realTimeFrameKeepsEveryReadingWhole_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("compact");
        QTest::newRow("Setup column") << 186 << true;
        QTest::newRow("map page") << 310 << false;
        QTest::newRow("narrow map page") << 250 << false;
    }
    void realTimeFrameKeepsEveryReadingWhole() {
        QFETCH(int, width);
        QFETCH(bool, compact);
        TRT rt(QStringLiteral("RT1"));
        rt.setCompact(compact);
        LiveValues v;
        v.RpmHundreds = 254;
        v.Vacuum = 2.95;
        v.ThrottlePercent = 254;
        v.LambdaHundredths = 254;
        v.WaterTemp = 254;
        v.AirTemp = -21;
        v.PotPercent = 99.61;
        v.BatteryTenths = 254;
        v.InjectorTenthsMs = 254;
        v.LiveTiming = -16;
        v.InjectorDuty = 100;
        rt.showValues(v);
        rt.resize(width, 300);
        rt.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rt));
        QTest::qWait(20);
        QList<QLabel*> shown;
        for (QLabel* l : rt.findChildren<QLabel*>()) {
            if (!l->isVisibleTo(&rt) || l->text().isEmpty())
                continue;
            QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) <= l->contentsRect().width(),
                     qPrintable(QStringLiteral("%1 \"%2\" is cut").arg(l->objectName(), l->text())));
            QVERIFY2(rt.rect().contains(QRect(l->mapTo(&rt, QPoint(0, 0)), l->size())),
                     qPrintable(l->text() + QStringLiteral(" outside the frame")));
            shown << l;
        }
        // No two texts touch (the target's ".50" stands on the lambda panel, above the bars).
        for (qsizetype i = 0; i < shown.size(); ++i)
            for (qsizetype j = i + 1; j < shown.size(); ++j) {
                const QRect a = textRect(shown[i], &rt);
                const QRect b = textRect(shown[j], &rt);
                QVERIFY2(
                    !a.adjusted(-1, 0, 1, 0).intersects(b),
                    qPrintable(
                        QStringLiteral("\"%1\" runs into \"%2\"").arg(shown[i]->text(), shown[j]->text())));
            }
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
