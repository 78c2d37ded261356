#include "monitor/LiveRefresh.h"

#include <cmath>

namespace {

bool same(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

} // namespace

LiveRefresh::LiveRefresh(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kScreenRefreshMs);
    connect(&timer_, &QTimer::timeout, this, &LiveRefresh::push);
}

LiveRefresh::Fields LiveRefresh::changedFields(const LiveValues& a, const LiveValues& b) {
    Fields f = 0;
    const auto mark = [&f](bool differs, Field field) {
        if (differs)
            f |= field;
    };
    mark(!same(a.RpmHundreds, b.RpmHundreds), Rpm);
    mark(!same(a.Vacuum, b.Vacuum), Vacuum);
    mark(!same(a.ThrottlePercent, b.ThrottlePercent), Throttle);
    mark(!same(a.LambdaHundredths, b.LambdaHundredths), Lambda);
    mark(!same(a.WaterTemp, b.WaterTemp), Water);
    mark(!same(a.AirTemp, b.AirTemp), Air);
    mark(!same(a.PotPercent, b.PotPercent), Pot);
    mark(!same(a.BatteryTenths, b.BatteryTenths), Battery);
    mark(!same(a.InjectorTenthsMs, b.InjectorTenthsMs), Injector);
    mark(!same(a.LiveTiming, b.LiveTiming), Timing);
    mark(a.InjectorDuty != b.InjectorDuty, Duty);
    mark(a.stale != b.stale, Stale);
    return f;
}

void LiveRefresh::post(const LiveValues& live) {
    latest_ = live;
    if (timer_.isActive())
        return;
    // A value that went and came back within one refresh changes nothing on the screen.
    if (pushedOnce_ && changedFields(shown_, latest_) == 0)
        return;
    timer_.start();
}

void LiveRefresh::flush() {
    if (!timer_.isActive())
        return;
    timer_.stop();
    push();
}

void LiveRefresh::push() {
    const Fields changed = pushedOnce_ ? changedFields(shown_, latest_) : Fields(All);
    if (changed == 0)
        return;
    shown_ = latest_;
    pushedOnce_ = true;
    emit refresh(shown_, changed);
}
