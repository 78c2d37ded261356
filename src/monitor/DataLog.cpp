#include "monitor/DataLog.h"

#include <charconv>
#include <cmath>

namespace {

const LogChannel kChannels[LogChannels::kCount] = {
    {"RPM", "rpm", [](const LiveValues& v) { return v.RpmHundreds * 100; }},
    {"Vacuum", "bar", [](const LiveValues& v) { return v.Vacuum; }},
    {"Throttle", "%", [](const LiveValues& v) { return v.ThrottlePercent; }},
    {"Lambda", "V", [](const LiveValues& v) { return v.LambdaHundredths / 100; }},
    {"Water", "°C", [](const LiveValues& v) { return v.WaterTemp; }},
    {"Air", "°C", [](const LiveValues& v) { return v.AirTemp; }},
    {"POT", "%", [](const LiveValues& v) { return v.PotPercent; }},
    {"Battery", "V", [](const LiveValues& v) { return v.BatteryTenths / 10; }},
    {"Injector pulse", "ms", [](const LiveValues& v) { return v.InjectorTenthsMs / 10; }},
    {"Injector duty", "%", [](const LiveValues& v) { return double(v.InjectorDuty); }},
    {"Timing", "°", [](const LiveValues& v) { return v.LiveTiming; }},
    {"Fuel curve", "1 Low 2 Cruise 3 High", [](const LiveValues&) { return 0.0; }},
};

} // namespace

const LogChannel& LogChannels::at(int channel) {
    return kChannels[channel];
}

int LogChannels::find(const QString& name) {
    for (int c = 0; c < kCount; ++c)
        if (name == QString::fromUtf8(kChannels[c].name))
            return c;
    return -1;
}

bool LogSample::isGap() const {
    for (float v : values)
        if (!std::isnan(v))
            return false;
    return true;
}

DataLog::DataLog() = default;
DataLog::~DataLog() = default;
DataLog::DataLog(DataLog&&) noexcept = default;
DataLog& DataLog::operator=(DataLog&&) noexcept = default;

void DataLog::clear() {
    chunks_.clear();
    size_ = 0;
    gaps_ = 0;
    markers_.clear();
}

bool DataLog::append(const LogSample& s) {
    if (size_ > 0 && s.timeMs < timeMs(size_ - 1))
        return false;
    if (size_ == static_cast<std::int64_t>(chunks_.size()) * kChunkRows)
        chunks_.push_back(std::make_unique<Chunk>());
    Chunk& c = *chunks_.back();
    const size_t i = offset(size_);
    c.time[i] = s.timeMs;
    c.number[i] = s.sample;
    for (int ch = 0; ch < LogChannels::kCount; ++ch)
        c.values[static_cast<size_t>(ch) * kChunkRows + i] = s.values[static_cast<size_t>(ch)];
    ++size_;
    if (s.isGap())
        ++gaps_;
    return true;
}

LogSample DataLog::sample(std::int64_t row) const {
    LogSample s;
    s.timeMs = timeMs(row);
    s.sample = sampleNumber(row);
    for (int ch = 0; ch < LogChannels::kCount; ++ch)
        s.values[static_cast<size_t>(ch)] = value(row, ch);
    return s;
}

std::int64_t DataLog::lowerBound(std::int32_t ms) const {
    std::int64_t lo = 0;
    std::int64_t hi = size_;
    while (lo < hi) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        if (timeMs(mid) < ms)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

std::int64_t DataLog::rowAt(std::int32_t ms) const {
    if (size_ == 0)
        return 0;
    const std::int64_t i = lowerBound(ms);
    if (i < size_ && timeMs(i) == ms)
        return i;
    return i > 0 ? i - 1 : 0;
}

QString DataLog::cleanNote(const QString& note) {
    static constexpr int kNoteLength = 80;
    QString n = note.left(kNoteLength);
    for (QChar& c : n)
        if (c == u',' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'"')
            c = u' ';
    return n.simplified();
}

const LogMarker& DataLog::addMarker(std::int64_t row, const QString& note) {
    LogMarker m;
    m.number = markers_.empty() ? 1 : markers_.back().number + 1;
    m.row = row;
    m.note = cleanNote(note);
    markers_.push_back(m);
    return markers_.back();
}

const LogMarker* DataLog::markerOn(std::int64_t row) const {
    for (const LogMarker& m : markers_)
        if (m.row == row)
            return &m;
    return nullptr;
}

std::int64_t DataLog::bytes() const {
    return static_cast<std::int64_t>(chunks_.size() * sizeof(Chunk) +
                                     markers_.capacity() * sizeof(LogMarker));
}

ChannelStats channelStats(const DataLog& log, int channel) {
    ChannelStats st;
    double sum = 0;
    for (std::int64_t i = 0; i < log.size(); ++i) {
        const float v = log.value(i, channel);
        if (std::isnan(v))
            continue;
        if (st.count == 0 || v < st.min)
            st.min = v;
        if (st.count == 0 || v > st.max)
            st.max = v;
        sum += v;
        ++st.count;
    }
    if (st.count > 0)
        st.mean = sum / static_cast<double>(st.count);
    return st;
}

LiveValues liveFromLog(const DataLog& log, std::int64_t row) {
    LiveValues v;
    if (log.empty())
        return v;
    // A float widened as is shows its binary tail (1.51f is 1.50999999...): take the decimal the
    // float stands for, as the file holds it.
    const auto at = [&](int c) {
        const float f = log.value(row, c);
        if (std::isnan(f))
            return std::nan("");
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, f);
        double d = 0;
        std::from_chars(buf, r.ptr, d);
        return d;
    };
    v.received = true;
    v.RpmHundreds = at(0) / 100;
    v.Vacuum = at(1);
    v.ThrottlePercent = at(2);
    v.LambdaHundredths = std::round(at(3) * 100);
    v.WaterTemp = at(4);
    v.AirTemp = at(5);
    v.PotPercent = at(6);
    v.BatteryTenths = std::round(at(7) * 10);
    v.InjectorTenthsMs = std::round(at(8) * 10);
    v.InjectorDuty = std::isnan(at(9)) ? 0 : static_cast<int>(std::lround(at(9)));
    v.LiveTiming = at(10);
    v.readMs = log.timeMs(row);
    v.frame = log.sampleNumber(row);
    v.stale = log.sample(row).isGap();
    return v;
}
