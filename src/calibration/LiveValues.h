#pragma once

// The decoded live readings of the unit and the values derived from them. Written only by the poll
// (LiveMonitor); the displays and the data logger read them on the user-interface thread.
struct LiveValues {
    double RpmHundreds = 0;      // hundreds of RPM; -1 when the frame's first byte was missing
    double Vacuum = 0;           // bar, to 0.01
    double ThrottlePercent = 0;  // percent
    double LambdaHundredths = 0; // hundredths of a volt
    double WaterTemp = 0;        // degrees C
    double AirTemp = 0;          // degrees C
    double PotPercent = 0;       // percent, to 0.01
    double BatteryTenths = 0;    // tenths of a volt
    double InjectorTenthsMs = 0; // tenths of a millisecond
    double LiveTiming = 0;       // degrees of advance the maps give at the operating point
    int InjectorDuty = 0;        // percent of two engine turns (one on a two-stroke)
    bool received = false;       // at least one frame has been decoded
    // When the reply of the values above was read (monotonic milliseconds) and its poll's number;
    // a sample of a log with the same frame number as the one before it is no new measurement.
    long long readMs = 0;
    unsigned long long frame = 0;
    // The unit has stopped sending frames: the values above are the last ones known, not current.
    bool stale = false;
};

// The two halves of the centre-zero lambda bar, each 0..50 around 0.50 V.
struct LambdaHalves {
    int left = 0;
    int right = 0;
};
