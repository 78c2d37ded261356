#pragma once

#include <QList>
#include <QObject>

#include <array>

class EngineMonitorPage;
class LiveDisplays;
class LiveMonitor;
class MapChartWidget;
class MapPages;
class QCheckBox;
class StatusPanels;
class TRT;
class TuneSession;

// The live data's way to the screen: the monitor fed by the link's poll, the displays it updates
// (the real-time frames, the chart markers, the Engine Monitor), the status word while the unit is
// silent, and realtime tracking on the map pages.
class LiveView : public QObject {
    Q_OBJECT

  public:
    LiveView(TuneSession& session, MapPages& pages, const std::array<TRT*, 4>& frames,
             const QList<MapChartWidget*>& charts, EngineMonitorPage* monitorPage, QCheckBox* tracking,
             StatusPanels& status, QObject* parent);

    LiveMonitor& monitor() { return *monitor_; }
    LiveDisplays& displays() { return *displays_; }

  private:
    LiveMonitor* monitor_ = nullptr;
    LiveDisplays* displays_ = nullptr;
};
