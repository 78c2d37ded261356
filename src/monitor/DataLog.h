#pragma once

#include "calibration/LiveValues.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// One logged channel: its column name, its unit and how a live reading gives its value in that
// unit. The log's columns are this table, in this order, between the time and the markers.
struct LogChannel {
    const char* name;
    const char* unit;
    double (*fromLive)(const LiveValues&);
};

// The recorded channels: the live readings in the units a tuner reads them in, and the fuel curve
// the window had selected (1 Low, 2 Cruise, 3 High; 0 none).
namespace LogChannels {
constexpr int kCount = 12;
// The columns read by name elsewhere (the mixture analysis, the logger's series).
constexpr int kRpm = 0;
constexpr int kVacuum = 1;
constexpr int kThrottle = 2;
constexpr int kLambda = 3;
constexpr int kWater = 4;
constexpr int kInjectorPulse = 8;
constexpr int kFuelCurve = 11; // the channel the window fills, not the frame
const LogChannel& at(int channel);
// The index of the channel of that name, -1 when none.
int find(const QString& name);
} // namespace LogChannels

// A marker dropped while logging: its number, the row it sits on (its time is the row's) and a
// short note.
struct LogMarker {
    int number = 0;
    std::int64_t row = 0;
    QString note;
};

// One row of the log: the time since the log began, the row's number and the channel values (NaN:
// not measured; a row whose values are all NaN is a gap, the unit was silent).
struct LogSample {
    std::int32_t timeMs = 0;
    std::uint32_t sample = 0;
    std::array<float, LogChannels::kCount> values{};
    bool isGap() const;
};

// The samples of a run, compact: fixed-size chunks of plain arrays (time, number, one float per
// channel), so hours of 25 samples a second stay within tens of megabytes and appending never
// moves what is stored. Times never decrease; lowerBound finds a time by bisection.
class DataLog {
  public:
    static constexpr std::int64_t kChunkRows = 4096;

    DataLog();
    ~DataLog();
    DataLog(DataLog&&) noexcept;
    DataLog& operator=(DataLog&&) noexcept;

    void clear();
    // False (and nothing stored) when the time is earlier than the last row's.
    bool append(const LogSample& sample);
    std::int64_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    std::int32_t timeMs(std::int64_t row) const { return chunk(row).time[offset(row)]; }
    std::uint32_t sampleNumber(std::int64_t row) const { return chunk(row).number[offset(row)]; }
    float value(std::int64_t row, int channel) const {
        return chunk(row).values[static_cast<size_t>(channel) * kChunkRows + offset(row)];
    }
    LogSample sample(std::int64_t row) const;
    // The first row at or after the time (size() when none).
    std::int64_t lowerBound(std::int32_t ms) const;
    // The row shown at the time: the last at or before it (0 before the first).
    std::int64_t rowAt(std::int32_t ms) const;
    std::int32_t durationMs() const { return size_ ? timeMs(size_ - 1) : 0; }
    std::int64_t gaps() const { return gaps_; }

    // A marker's note as the log keeps it: short, on one line, without the characters that would
    // split a row of the file, its spaces collapsed.
    static QString cleanNote(const QString& note);
    // Markers are numbered 1, 2, ... in the order they are added.
    const std::vector<LogMarker>& markers() const { return markers_; }
    const LogMarker& addMarker(std::int64_t row, const QString& note);
    void addMarker(const LogMarker& marker) { markers_.push_back(marker); }
    // The marker on that row, nullptr when none.
    const LogMarker* markerOn(std::int64_t row) const;

    // Memory held by the samples.
    std::int64_t bytes() const;

  private:
    struct Chunk {
        std::array<std::int32_t, kChunkRows> time;
        std::array<std::uint32_t, kChunkRows> number;
        std::array<float, kChunkRows * LogChannels::kCount> values; // channel after channel
    };
    const Chunk& chunk(std::int64_t row) const { return *chunks_[static_cast<size_t>(row / kChunkRows)]; }
    static size_t offset(std::int64_t row) { return static_cast<size_t>(row % kChunkRows); }

    std::vector<std::unique_ptr<Chunk>> chunks_;
    std::int64_t size_ = 0;
    std::int64_t gaps_ = 0;
    std::vector<LogMarker> markers_;
};

// The measured values of one channel over a log (gaps and values not measured left out).
struct ChannelStats {
    std::int64_t count = 0;
    double min = 0;
    double max = 0;
    double mean = 0;
};
ChannelStats channelStats(const DataLog& log, int channel);

// The live values a row stands for (the inverse of the channels' units), for the displays during a
// replay; a gap gives stale values.
LiveValues liveFromLog(const DataLog& log, std::int64_t row);
