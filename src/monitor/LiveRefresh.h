#pragma once

#include "calibration/LiveValues.h"

#include <QObject>
#include <QTimer>

// Live values arrive at the poll's rate; the screen needs them at most once a refresh. post()
// keeps the latest values and, on the first change since the last push, starts a single-shot
// timer of one screen refresh; when it fires, refresh() carries the latest values and the fields
// that differ from what was pushed before, so the displays repaint once and only what changed.
class LiveRefresh : public QObject {
    Q_OBJECT

  public:
    enum Field : unsigned {
        Rpm = 1u << 0,
        Vacuum = 1u << 1,
        Throttle = 1u << 2,
        Lambda = 1u << 3,
        Water = 1u << 4,
        Air = 1u << 5,
        Pot = 1u << 6,
        Battery = 1u << 7,
        Injector = 1u << 8,
        Timing = 1u << 9,
        Duty = 1u << 10,
        Stale = 1u << 11, // the values went stale or became current again
        All = (1u << 12) - 1,
    };
    using Fields = unsigned;

    static constexpr int kScreenRefreshMs = 16;

    explicit LiveRefresh(QObject* parent = nullptr);

    void post(const LiveValues& live);
    // Pushes what is pending now instead of at the timer.
    void flush();
    bool pending() const { return timer_.isActive(); }
    const LiveValues& latest() const { return latest_; }

    // The fields in which b differs from a (a NaN equals a NaN: both show "NA").
    static Fields changedFields(const LiveValues& a, const LiveValues& b);

  signals:
    void refresh(const LiveValues& live, LiveRefresh::Fields changed);

  private:
    void push();

    LiveValues latest_;
    LiveValues shown_;
    bool pushedOnce_ = false;
    QTimer timer_;
};
