#include "monitor/LiveDisplays.h"

#include "calibration/Rounding.h"
#include "mapeditor/MapChartWidget.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/TRT.h"

#include <QEvent>

#include <cstring>

namespace {

struct MarkerSetup {
    const char* chart;
    double (*x)(const LiveValues&);
    double height;
    LiveRefresh::Fields follows; // the field its x comes from
};

const MarkerSetup kMarkers[] = {
    {"TimingChart", [](const LiveValues& v) { return v.RpmHundreds; }, 45, LiveRefresh::Rpm},
    {"VacuumChart", [](const LiveValues& v) { return v.Vacuum; }, 15, LiveRefresh::Vacuum},
    {"FuelVacChart", [](const LiveValues& v) { return v.Vacuum; }, 100, LiveRefresh::Vacuum},
    {"FuelRPMChart", [](const LiveValues& v) { return v.RpmHundreds; }, 100, LiveRefresh::Rpm},
    {"TempChart", [](const LiveValues& v) { return v.WaterTemp; }, 100, LiveRefresh::Water},
    {"AirTmpChart", [](const LiveValues& v) { return v.AirTemp; }, 100, LiveRefresh::Air},
    // Volts to one decimal, the chart's own resolution.
    {"VoltageChart", [](const LiveValues& v) { return roundHalfEven(v.BatteryTenths) / 10.0; }, 100,
     LiveRefresh::Battery},
};

const MarkerSetup* markerSetup(const QString& chartName) {
    for (const MarkerSetup& m : kMarkers)
        if (chartName == QLatin1String(m.chart))
            return &m;
    return nullptr;
}

} // namespace

LiveDisplays::LiveDisplays(QObject* parent) : QObject(parent) {
    connect(&refresh_, &LiveRefresh::refresh, this, &LiveDisplays::show);
}

void LiveDisplays::addChart(MapChartWidget* chart) {
    if (markerSeries(chart) < 0)
        return;
    charts_.push_back(chart);
    chart->installEventFilter(this);
}

bool LiveDisplays::markerFor(const QString& chartName, const LiveValues& live, double& x, double& height) {
    const MarkerSetup* m = markerSetup(chartName);
    if (!m)
        return false;
    x = m->x(live);
    height = m->height;
    return true;
}

int LiveDisplays::markerSeries(const MapChartWidget* chart) {
    const auto& series = chart->setup().series;
    for (size_t i = 0; i < series.size(); ++i)
        if (series[i].role == SeriesRole::LiveMarker)
            return static_cast<int>(i);
    return -1;
}

void LiveDisplays::UpdateLiveDisplays(const LiveValues& live) {
    refresh_.post(live);
}

void LiveDisplays::show(const LiveValues& live, LiveRefresh::Fields changed) {
    for (TRT* frame : frames_)
        frame->showValues(live, changed);
    for (MapChartWidget* chart : charts_) {
        const MarkerSetup* m = markerSetup(chart->objectName());
        if (m && (changed & (m->follows | LiveRefresh::Stale)))
            placeMarker(chart, live);
    }
    if (monitor_)
        monitor_->showValues(live, changed);
}

void LiveDisplays::placeMarker(MapChartWidget* chart, const LiveValues& live) {
    double x = 0;
    double height = 0;
    QCPBars* bars = chart->bars(markerSeries(chart));
    if (!bars || !markerFor(chart->objectName(), live, x, height))
        return;
    bars->data()->clear();
    // No data, no operating point to mark.
    if (!live.stale)
        bars->addData(x, height);
    if (chart->isVisible())
        chart->replotLiveMarker();
    else
        stale_.insert(chart);
}

bool LiveDisplays::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && stale_.remove(watched))
        static_cast<MapChartWidget*>(watched)->replot(QCustomPlot::rpQueuedReplot);
    return QObject::eventFilter(watched, event);
}

void LiveDisplays::setLambdaTarget(double volts) {
    for (TRT* frame : frames_)
        frame->setLambdaTarget(volts);
}

void LiveDisplays::setMissedFrames(int missed, int polls) {
    for (TRT* frame : frames_)
        frame->setMissedFrames(missed, polls);
}
