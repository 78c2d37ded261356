#pragma once

#include <chrono>

// Milliseconds on the machine's monotonic clock: never steps with the wall clock's corrections,
// so the times of a log keep their spacing through a clock change. One clock for the poll's
// stamps and the logger.
inline long long monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
