#pragma once

// Driving the map charts of a connected window: pointer moves and drags at chart values, keys,
// and the set messages the simulated unit received.
#include "e2e_helpers.h"

#include <QByteArray>
#include <QList>
#include <QPointF>

class MapChartWidget;
class QCPAxis;

enum MapTab { kSetupTab = 0, kTimingTab = 1, kFuelTab = 2, kCorrectionTab = 3 };

// The set messages the unit received (the live poll's 0xFC queries left out).
QList<QByteArray> sets(const EmuSimulator& unit);
QByteArray bytes(int a, int b, int c);
bool waitForSets(const EmuSimulator& unit, int count);
// Nothing more arrives: the event loop runs a while and the record stays as it was.
bool noMoreSets(const EmuSimulator& unit, int count);

// The pixel of a chart value (exact, so that limits such as 45 can be hit).
QPointF pixelOf(MapChartWidget* chart, double x, double y);
void mouse(QWidget* w, QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons);
// The pointer moved over a chart with no button held.
void hover(MapChartWidget* chart, double x, double y);
// Left button down on the chart, one move to (x, y) and the button up again.
void drag(MapChartWidget* chart, double x, double y);
// Shows a tab of the window; the chart (if named) laid out at its real size.
MapChartWidget* showChart(TForm1& w, int tab, const char* name);
void showTab(TForm1& w, int tab);
// One press and release of a key at a widget.
void key(QWidget* w, Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// A left click in a widget: it takes the focus as it would from the tuner's hand.
void clickInto(QWidget* w);

// A connected window with mouse tuning switched on (or off), the unit's record empty.
struct Tuning {
    Bench bench;
    EmuSimulator& unit;
    TForm1& w;
    explicit Tuning(int type = 3, bool mouseTuning = true);
    double point(MapId map, int i) const { return w.state().cal.map(map)[static_cast<size_t>(i)]; }
    // The unit's own value of a timing point (its image holds value + 1).
    int unitTiming(int i) const { return int(unit.image()[static_cast<size_t>(101 + i - 1)]) - 1; }
};
