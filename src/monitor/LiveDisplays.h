#pragma once

#include "calibration/LiveValues.h"
#include "monitor/LiveRefresh.h"

#include <QObject>
#include <QSet>

#include <vector>

class EngineMonitorPage;
class MapChartWidget;
class TRT;

// The live displays: the four real-time frames (RT1..RT4), the live markers of the seven map
// charts and the dials. Values come at the poll's rate; the displays take them at most once a
// screen refresh, in a fixed order (frames, markers, dials), and only the read-outs whose value
// changed. A hidden chart is replotted only when it is shown.
class LiveDisplays : public QObject {
    Q_OBJECT

  public:
    explicit LiveDisplays(QObject* parent = nullptr);

    void addFrame(TRT* frame) { frames_.push_back(frame); }
    void setMonitorPage(EngineMonitorPage* page) { monitor_ = page; }
    void addChart(MapChartWidget* chart);

    const std::vector<TRT*>& frames() const { return frames_; }
    LiveRefresh& refresher() { return refresh_; }
    // Shows what is pending now rather than at the next screen refresh.
    void flush() { refresh_.flush(); }

    // The x and height of a chart's live marker for these values; false when the chart has none.
    static bool markerFor(const QString& chartName, const LiveValues& live, double& x, double& height);

  public slots:
    // Takes the values of one poll; the displays follow at the next screen refresh.
    void UpdateLiveDisplays(const LiveValues& live);
    void setLambdaTarget(double volts);
    void setMissedFrames(int missed, int polls);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void show(const LiveValues& live, LiveRefresh::Fields changed);
    void placeMarker(MapChartWidget* chart, const LiveValues& live);
    static int markerSeries(const MapChartWidget* chart);

    LiveRefresh refresh_;
    std::vector<TRT*> frames_;
    std::vector<MapChartWidget*> charts_;
    QSet<QObject*> stale_; // hidden charts whose marker moved
    EngineMonitorPage* monitor_ = nullptr;
};
