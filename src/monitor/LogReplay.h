#pragma once

#include "monitor/DataLog.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <array>

// Plays a data log back at a chosen speed: a position on the log's time that moves with the wall
// clock times the speed while playing, and the row shown at that position. Nothing here talks to
// a unit; whoever shows the rows decides what follows them.
class LogReplay : public QObject {
    Q_OBJECT

  public:
    static constexpr std::array<double, 6> kSpeeds{0.25, 0.5, 1, 2, 4, 8};
    static constexpr int kTickMs = 30;

    explicit LogReplay(QObject* parent = nullptr);

    // The log to play (nullptr: none); the position goes back to its start.
    void setLog(const DataLog* log);
    const DataLog* log() const { return log_; }

    bool playing() const { return timer_.isActive(); }
    double speed() const { return speed_; }
    std::int32_t position() const { return position_; }
    std::int64_t row() const { return row_; }

  public slots:
    void play();
    void pause();
    void setSpeed(double speed);
    void seek(std::int32_t ms);
    // Moves on by this much wall time (what the timer does each tick).
    void advance(qint64 wallMs);

  signals:
    void positionChanged(std::int32_t ms, std::int64_t row);
    void playingChanged(bool playing);

  private:
    const DataLog* log_ = nullptr;
    QTimer timer_;
    QElapsedTimer since_;
    double speed_ = 1;
    double exact_ = 0; // the position to a fraction of a millisecond
    std::int32_t position_ = 0;
    std::int64_t row_ = 0;
};
