#include "monitor/LiveMonitor.h"

#include "monitor/MonotonicClock.h"

#include <cmath>
#include <limits>

LiveMonitor::LiveMonitor(EmuState& state, QObject* parent) : QObject(parent), state_(state) {
}

void LiveMonitor::takeFrame(const QByteArray& reply) {
    const int missedBefore = watch_.missedFrames();
    const LinkWatch::Verdict verdict =
        watch_.take(!LiveFrameBuffer::isWhole(reply), state_.link.hasPendingChanges());
    if (watch_.missedFrames() != missedBefore)
        emit framesMissed(watch_.missedFrames(), watch_.polls());

    switch (verdict) {
    case LinkWatch::Verdict::Lost:
        // The displays keep the last frame's values until the next connection.
        state_.link.EmuConnected = false;
        emit linkLost();
        return;
    case LinkWatch::Verdict::Hold:
        return;
    case LinkWatch::Verdict::Stopped:
        state_.live.stale = true;
        emit liveUpdated(state_.live);
        emit dataStopped();
        return;
    case LinkWatch::Verdict::Show:
    case LinkWatch::Verdict::Resumed:
        break;
    }

    const long long readMs = clock_ ? clock_() : monotonicMs();
    frame_.take(reply);
    LiveDecode::update(state_.live, frame_, state_.cal);
    state_.live.readMs = readMs;
    state_.live.frame = static_cast<unsigned long long>(watch_.polls());
    state_.live.stale = false;
    deriveTiming();
    const LiveValues& live = state_.live;
    if (tracking_) {
        const LiveSettings s = liveSettings(state_.cal);
        const FuelCurve curve =
            LiveDecode::trackedCurve(live.Vacuum, s.lowThrottleVacuum, s.highThrottleVacuum);
        if (curve != FuelCurve::None)
            emit fuelCurveTracked(curve);
    }
    emit liveUpdated(live);
    if (tracking_)
        emit operatingPointTracked(live.RpmHundreds, live.Vacuum);
    if (verdict == LinkWatch::Verdict::Resumed)
        emit framesResumed();
}

void LiveMonitor::deriveTiming() {
    // Without maps the sum of three empty points says nothing about the engine.
    if (!state_.link.CalibrationLoaded)
        state_.live.LiveTiming = std::numeric_limits<double>::quiet_NaN();
}

void LiveMonitor::calibrationChanged() {
    LiveValues& live = state_.live;
    if (!live.received)
        return;
    const double before = live.LiveTiming;
    live.LiveTiming = LiveDecode::liveTiming(live, state_.cal, liveSettings(state_.cal));
    deriveTiming();
    const bool same = before == live.LiveTiming || (std::isnan(before) && std::isnan(live.LiveTiming));
    if (!same)
        emit liveUpdated(live);
}
