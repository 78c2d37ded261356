#pragma once

#include "calibration/EmuState.h"
#include "monitor/LinkWatch.h"
#include "monitor/LiveDecode.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

// The live poll's work on each reply that EmuLink's Timer1 brings: the frame buffer, the decode
// into EmuState::live, the tracking choice, the missed-frame rule and the lost-link rule. Runs on
// the user-interface thread, inside the poll's tick; the displays repaint at their own rate from
// liveUpdated.
class LiveMonitor : public QObject {
    Q_OBJECT

  public:
    // Status panel 0 while the unit sends no frames.
    static inline const QString kNoDataText = QStringLiteral("No data from the EMU");

    explicit LiveMonitor(EmuState& state, QObject* parent = nullptr);

    // "Realtime Tracking": pick the fuel curve from the vacuum and move the chart cursors.
    void setTracking(bool on) { tracking_ = on; }
    bool tracking() const { return tracking_; }

    // The clock that stamps each frame when its reply is read (the monotonic one by default).
    void setClock(std::function<long long()> clock) { clock_ = std::move(clock); }

    const LinkWatch& watch() const { return watch_; }
    const LiveValues& values() const { return state_.live; }
    // The unit has gone silent and not come back yet.
    bool noData() const { return watch_.silent(); }

  public slots:
    void takeFrame(const QByteArray& reply);
    // The calibration was replaced or closed: the timing derived from the maps follows (no maps
    // loaded: no timing to show).
    void calibrationChanged();

  signals:
    // In this order within one tick: the curve choice, the values, the cursor move.
    void fuelCurveTracked(FuelCurve curve);
    // The live values changed: a frame was decoded, or they went stale (live.stale) because the
    // unit stopped sending.
    void liveUpdated(const LiveValues& live);
    void operatingPointTracked(double rpmHundreds, double vacuum);
    // Late frames so far (counted for the user to see).
    void framesMissed(int missed, int polls);
    // Three missed replies in a row with nothing pending: no data arrives (after liveUpdated).
    void dataStopped();
    // The first whole frame after dataStopped (after its liveUpdated): the unit may have been
    // swapped or restarted meanwhile.
    void framesResumed();
    // EmuConnected has been cleared; the window shows the link-lost dialog.
    void linkLost();

  private:
    void deriveTiming();

    EmuState& state_;
    LiveFrameBuffer frame_;
    LinkWatch watch_;
    bool tracking_ = false;
    std::function<long long()> clock_;
};
