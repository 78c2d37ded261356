#include "SimRoadRun.h"

#include "monitor/LiveDecode.h"

#include <cmath>

DataLog recordRoadRun(const SimEngineModel& engine, const SimMixture::UnitTune& tune, double fromSeconds,
                      double toSeconds, int periodMs) {
    DataLog log;
    LiveFrameBuffer buffer;
    const auto rows = static_cast<std::int64_t>(std::floor((toSeconds - fromSeconds) * 1000.0 / periodMs));
    for (std::int64_t i = 0; i < rows; ++i) {
        const double t = fromSeconds + static_cast<double>(i * periodMs) / 1000.0;
        buffer.take(engine.roadFrameAt(t, tune));
        LiveValues live;
        LiveDecode::decodeFrame(buffer, tune.cal.VacuumRange, live);
        LogSample s;
        s.timeMs = static_cast<std::int32_t>(i * periodMs);
        s.sample = static_cast<std::uint32_t>(i + 1);
        for (int c = 0; c < LogChannels::kCount; ++c)
            s.values[static_cast<size_t>(c)] = static_cast<float>(LogChannels::at(c).fromLive(live));
        log.append(s);
    }
    return log;
}
