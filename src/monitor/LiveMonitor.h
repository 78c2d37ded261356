#pragma once

#include "calibration/EmuState.h"
#include "monitor/LinkWatch.h"
#include "monitor/LiveDecode.h"

#include <QByteArray>
#include <QObject>

// The live poll's work on each reply that EmuLink's Timer1 brings: the frame buffer, the decode
// into EmuState::live, the tracking choice, the display update (through liveUpdated) and the
// lost-link rule. Runs on the user-interface thread, inside the poll's tick.
class LiveMonitor : public QObject {
    Q_OBJECT

  public:
    explicit LiveMonitor(EmuState& state, QObject* parent = nullptr);

    // "Realtime Tracking": pick the fuel curve from the vacuum and move the chart cursors.
    void setTracking(bool on) { tracking_ = on; }
    bool tracking() const { return tracking_; }

    const LinkWatch& watch() const { return watch_; }
    const LiveValues& values() const { return state_.live; }

  public slots:
    void takeFrame(const QByteArray& reply);

  signals:
    // In this order within one tick: the curve choice, the displays, the cursor move.
    void fuelCurveTracked(FuelCurve curve);
    void liveUpdated(const LiveValues& live);
    void operatingPointTracked(double rpmHundreds, double vacuum);
    // Late frames so far (counted for the user to see).
    void framesMissed(int missed, int polls);
    // EmuConnected has been cleared; the window shows the link-lost dialog.
    void linkLost();

  private:
    EmuState& state_;
    LiveFrameBuffer frame_;
    LinkWatch watch_;
    bool tracking_ = false;
};
