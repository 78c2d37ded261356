#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <array>

class DataLoggerPage;
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
             StatusPanels& status, DataLoggerPage* logger, QObject* parent);

    // A log is being replayed: the displays follow it and the poll is stopped.
    bool replaying() const { return replaying_; }

    LiveMonitor& monitor() { return *monitor_; }
    LiveDisplays& displays() { return *displays_; }

  private:
    LiveMonitor* monitor_ = nullptr;
    LiveDisplays* displays_ = nullptr;
    bool replaying_ = false;
    bool pollWasRunning_ = false;
    QString statusBeforeReplay_;
};
