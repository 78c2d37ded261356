#pragma once
// A frame's worth of live values that the display and logger tests show: 3000 RPM, 1.51 bar, half
// throttle, 0.45 V, warm, 13 V, 6 ms, 12.5 degrees, 15 % duty.
#include "calibration/LiveValues.h"

inline LiveValues sampleValues() {
    LiveValues v;
    v.RpmHundreds = 30;
    v.Vacuum = 1.51;
    v.ThrottlePercent = 50;
    v.LambdaHundredths = 45;
    v.WaterTemp = 85;
    v.AirTemp = 20;
    v.PotPercent = 49.8;
    v.BatteryTenths = 130;
    v.InjectorTenthsMs = 60;
    v.LiveTiming = 12.5;
    v.InjectorDuty = 15;
    v.received = true;
    return v;
}
