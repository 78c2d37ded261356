#pragma once

#include "calibration/LiveValues.h"

#include <QObject>
#include <QSet>

#include <vector>

class EngineMonitorPage;
class MapChartWidget;
class TRT;

// Refreshes every live display from one frame, in a fixed order: the four real-time frames
// (RT1..RT4), the live markers of the seven map charts, then the dials. A chart is replotted once
// per event-loop pass however many ticks touched it, and a hidden chart only when it is shown.
class LiveDisplays : public QObject {
    Q_OBJECT

  public:
    explicit LiveDisplays(QObject* parent = nullptr);

    void addFrame(TRT* frame) { frames_.push_back(frame); }
    void setMonitorPage(EngineMonitorPage* page) { monitor_ = page; }
    void addChart(MapChartWidget* chart);

    const std::vector<TRT*>& frames() const { return frames_; }

    // The x and height of a chart's live marker for these values; false when the chart has none.
    static bool markerFor(const QString& chartName, const LiveValues& live, double& x, double& height);

  public slots:
    void UpdateLiveDisplays(const LiveValues& live);
    void setLambdaTarget(double volts);
    void setMissedFrames(int missed, int polls);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void placeMarker(MapChartWidget* chart, const LiveValues& live);
    static int markerSeries(const MapChartWidget* chart);

    std::vector<TRT*> frames_;
    std::vector<MapChartWidget*> charts_;
    QSet<QObject*> stale_; // hidden charts whose marker moved
    EngineMonitorPage* monitor_ = nullptr;
};
