#pragma once

#include <array>

// The data logger's time keeping, apart from its chart: the nominal step, the timer period and the
// time of each sample, which is the sample count times the step (never a running sum, which drifts
// by a binary step's error each tick and would move the window's jump by one sample).
class DataLogClock {
  public:
    static constexpr std::array<int, 4> kNominalMs{50, 100, 500, 1000};
    static constexpr int kDefaultNominalMs = 100;
    // The timer runs this much short of the nominal step to allow for the hand-over and the sample.
    static constexpr int kHandOverAllowanceMs = 15;
    static constexpr double kWindowSeconds = 30;

    static int timerIntervalFor(int nominalMs) { return nominalMs - kHandOverAllowanceMs; }

    void start(int nominalMs) {
        nominalMs_ = nominalMs;
        count_ = 0;
    }
    int nominalMs() const { return nominalMs_; }
    double step() const { return nominalMs_ / 1000.0; }
    // SampleTime: the x of the next sample.
    double sampleTime() const { return count_ * nominalMs_ / 1000.0; }
    void advance() { ++count_; }
    long long count() const { return count_; }

    // The bottom axis after a sample at time t: the window jumps 30 s forward once t is beyond it.
    static double windowStartAfter(double t, double windowStart) {
        return t > windowStart + kWindowSeconds ? windowStart + kWindowSeconds : windowStart;
    }

  private:
    int nominalMs_ = kDefaultNominalMs;
    long long count_ = 0;
};
