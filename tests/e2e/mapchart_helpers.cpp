#include "mapchart_helpers.h"

#include "mapeditor/MapChartWidget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTabWidget>
#include <QTest>

#include <cmath>

QList<QByteArray> sets(const EmuSimulator& unit) {
    QList<QByteArray> out;
    for (const SimCommand& c : unit.commands())
        if (!c.bytes.isEmpty() && static_cast<std::uint8_t>(c.bytes.at(0)) != 0xFC)
            out << c.bytes;
    return out;
}

QByteArray bytes(int a, int b, int c) {
    QByteArray out;
    out.append(static_cast<char>(a)).append(static_cast<char>(b)).append(static_cast<char>(c));
    return out;
}

bool waitForSets(const EmuSimulator& unit, int count) {
    return waitUntil([&] { return sets(unit).size() >= count; }, 3000);
}

bool noMoreSets(const EmuSimulator& unit, int count) {
    QTest::qWait(150);
    return sets(unit).size() == count;
}

namespace {

double exactPixel(QCPAxis* axis, double value) {
    double p = axis->coordToPixel(value);
    for (int i = 0; i < 200 && axis->pixelToCoord(p) != value; ++i) {
        const bool low = axis->pixelToCoord(p) < value;
        const bool increase = (axis->orientation() == Qt::Horizontal) == low;
        p = std::nextafter(p, increase ? 1e9 : -1e9);
    }
    return p;
}

} // namespace

QPointF pixelOf(MapChartWidget* chart, double x, double y) {
    return {exactPixel(chart->xAxis, x), exactPixel(chart->yAxis, y)};
}

void mouse(QWidget* w, QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, w->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

void hover(MapChartWidget* chart, double x, double y) {
    mouse(chart, QEvent::MouseMove, pixelOf(chart, x, y), Qt::NoButton, Qt::NoButton);
}

void drag(MapChartWidget* chart, double x, double y) {
    const QPointF at = pixelOf(chart, x, y);
    mouse(chart, QEvent::MouseButtonPress, at + QPointF(0, 3), Qt::LeftButton, Qt::LeftButton);
    mouse(chart, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
    mouse(chart, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

void showTab(TForm1& w, int tab) {
    w.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(tab);
    QTest::qWait(20);
}

MapChartWidget* showChart(TForm1& w, int tab, const char* name) {
    showTab(w, tab);
    MapChartWidget* chart = chartOf(w, name);
    chart->replot(); // lays the axes out at the chart's real size
    return chart;
}

void key(QWidget* w, Qt::Key k, Qt::KeyboardModifiers modifiers) {
    QTest::keyPress(w, k, modifiers);
    QTest::keyRelease(w, k, modifiers);
}

void clickInto(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(4, w->height() / 2));
}

Tuning::Tuning(int type, bool mouseTuning) : unit(bench.addUnit(1, unitConfig(type))), w(bench.window()) {
    if (!connectTo(w, unit))
        qFatal("the window did not connect");
    if (mouseTuning)
        button(w, "SpeedButton3")->click();
    unit.clearRecord();
}
