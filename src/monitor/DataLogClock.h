#pragma once

#include "calibration/LiveValues.h"

#include <array>

// The data logger's time keeping, apart from its chart. A sample's time is when the reply of its
// frame was read (monotonic milliseconds since the log began), never the tick count times the
// nominal step: ticks come late while the user-interface thread is busy, frames do not wait for
// ticks. The timer wakes at the nominal step on a fixed schedule; a tick that finds no frame newer
// than the last sample takes nothing (no copies), and a silent unit gives one gap.
class DataLogClock {
  public:
    static constexpr std::array<int, 4> kNominalMs{50, 100, 500, 1000};
    static constexpr int kDefaultNominalMs = 100;
    static constexpr double kWindowSeconds = 30;

    // The timer keeps its own schedule (paced), so its period is the nominal step itself.
    static int timerIntervalFor(int nominalMs) { return nominalMs; }

    enum class Take {
        None,   // nothing new since the last sample
        Sample, // a measured frame at timeMs
        Gap,    // the unit went silent: one row marked missing at timeMs
    };
    struct Tick {
        Take take = Take::None;
        long long timeMs = 0; // since the log began
    };

    void start(int nominalMs, long long startMs) {
        nominalMs_ = nominalMs;
        startMs_ = startMs;
        lastFrame_ = 0;
        haveFrame_ = false;
        gapMarked_ = false;
        samples_ = 0;
    }
    int nominalMs() const { return nominalMs_; }
    double step() const { return nominalMs_ / 1000.0; }
    long long startMs() const { return startMs_; }
    // Rows taken since the start, gaps included.
    long long count() const { return samples_; }

    // What a tick at nowMs takes from the live values.
    Tick take(const LiveValues& live, long long nowMs) {
        if (live.stale) {
            if (gapMarked_)
                return {};
            gapMarked_ = true;
            ++samples_;
            return {Take::Gap, nowMs - startMs_};
        }
        // Frames read before the log began are not part of it; a frame already taken is no news.
        if (!live.received || live.readMs < startMs_ || (haveFrame_ && live.frame == lastFrame_))
            return {};
        haveFrame_ = true;
        lastFrame_ = live.frame;
        gapMarked_ = false;
        ++samples_;
        return {Take::Sample, live.readMs - startMs_};
    }

    // The bottom axis after a sample at time t: the window jumps 30 s forward once t is beyond it.
    static double windowStartAfter(double t, double windowStart) {
        while (t > windowStart + kWindowSeconds)
            windowStart += kWindowSeconds;
        return windowStart;
    }

  private:
    int nominalMs_ = kDefaultNominalMs;
    long long startMs_ = 0;
    unsigned long long lastFrame_ = 0;
    bool haveFrame_ = false;
    bool gapMarked_ = false;
    long long samples_ = 0;
};
