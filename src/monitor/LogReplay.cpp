#include "monitor/LogReplay.h"

#include <algorithm>

LogReplay::LogReplay(QObject* parent) : QObject(parent) {
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        const qint64 wall = since_.restart();
        advance(wall);
    });
}

void LogReplay::setLog(const DataLog* log) {
    pause();
    log_ = log;
    seek(log && !log->empty() ? log->timeMs(0) : 0);
}

void LogReplay::play() {
    if (!log_ || log_->empty() || playing())
        return;
    // At the end, play starts again from the beginning.
    if (position_ >= log_->durationMs())
        seek(log_->timeMs(0));
    since_.start();
    timer_.start();
    emit playingChanged(true);
}

void LogReplay::pause() {
    if (!playing())
        return;
    timer_.stop();
    emit playingChanged(false);
}

void LogReplay::setSpeed(double speed) {
    speed_ = std::clamp(speed, kSpeeds.front(), kSpeeds.back());
}

void LogReplay::seek(std::int32_t ms) {
    const std::int32_t end = log_ ? log_->durationMs() : 0;
    position_ = std::clamp(ms, 0, end);
    exact_ = position_;
    row_ = log_ ? log_->rowAt(position_) : 0;
    emit positionChanged(position_, row_);
}

void LogReplay::advance(qint64 wallMs) {
    if (!log_ || log_->empty())
        return;
    exact_ = std::min<double>(exact_ + static_cast<double>(wallMs) * speed_, log_->durationMs());
    const auto ms = static_cast<std::int32_t>(exact_);
    const double keep = exact_;
    if (ms != position_) {
        position_ = ms;
        row_ = log_->rowAt(ms);
        emit positionChanged(position_, row_);
    }
    exact_ = keep;
    if (position_ >= log_->durationMs())
        pause();
}
