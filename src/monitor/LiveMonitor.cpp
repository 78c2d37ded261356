#include "monitor/LiveMonitor.h"

LiveMonitor::LiveMonitor(EmuState& state, QObject* parent) : QObject(parent), state_(state) {
}

void LiveMonitor::takeFrame(const QByteArray& reply) {
    const bool empty = reply.isEmpty() || reply.at(0) == 0;
    const int missedBefore = watch_.missedFrames();
    const LinkWatch::Verdict verdict = watch_.take(empty, state_.link.hasPendingChanges());
    if (watch_.missedFrames() != missedBefore)
        emit framesMissed(watch_.missedFrames(), watch_.polls());

    if (verdict == LinkWatch::Verdict::Lost) {
        // The displays keep the last frame's values until the next connection.
        state_.link.EmuConnected = false;
        emit linkLost();
        return;
    }
    if (verdict == LinkWatch::Verdict::Hold)
        return;

    frame_.take(reply);
    LiveDecode::update(state_.live, frame_, state_.cal);
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
}
