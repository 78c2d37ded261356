#include "monitor/TThreadedTimer.h"

#include <QMetaObject>

#include <chrono>

TThreadedTimer::TThreadedTimer(QObject* parent) : QObject(parent), worker_(*this) {
    worker_.setObjectName(QStringLiteral("TTimerThread"));
    worker_.start(priority_);
}

TThreadedTimer::~TThreadedTimer() {
    {
        const std::lock_guard lock(mutex_);
        enabled_ = false;
        terminated_ = true;
        event_ = true;
    }
    wake_.notify_all();
    worker_.wait();
}

bool TThreadedTimer::Enabled() const {
    const std::lock_guard lock(mutex_);
    return enabled_;
}

void TThreadedTimer::setEnabled(bool enabled) {
    {
        const std::lock_guard lock(mutex_);
        if (enabled_ == enabled)
            return;
        enabled_ = enabled;
        // Enabling restarts the current wait, so the first tick comes a whole interval later.
        event_ = enabled;
    }
    wake_.notify_all();
}

int TThreadedTimer::Interval() const {
    const std::lock_guard lock(mutex_);
    return interval_;
}

void TThreadedTimer::setInterval(int ms) {
    if (ms == Interval())
        return;
    const bool wasEnabled = Enabled();
    setEnabled(false);
    {
        const std::lock_guard lock(mutex_);
        interval_ = ms;
    }
    setEnabled(wasEnabled);
}

bool TThreadedTimer::Paced() const {
    const std::lock_guard lock(mutex_);
    return paced_;
}

void TThreadedTimer::setPaced(bool paced) {
    {
        const std::lock_guard lock(mutex_);
        paced_ = paced;
        event_ = enabled_; // the wait starts again under the new rule
    }
    wake_.notify_all();
}

bool TThreadedTimer::AllowZero() const {
    const std::lock_guard lock(mutex_);
    return allowZero_;
}

void TThreadedTimer::setAllowZero(bool allow) {
    {
        const std::lock_guard lock(mutex_);
        allowZero_ = allow;
    }
    wake_.notify_all();
}

void TThreadedTimer::setThreadPriority(QThread::Priority priority) {
    priority_ = priority;
    // Raising above normal needs real-time rights on Linux; without them the worker stays normal.
    worker_.setPriority(priority);
}

quint64 TThreadedTimer::ticks() const {
    const std::lock_guard lock(mutex_);
    return ticks_;
}

bool TThreadedTimer::mayRun() const {
    // A negative interval never runs (it would be an endless wait); zero only with AllowZero.
    return enabled_ && (interval_ > 0 || (interval_ == 0 && allowZero_));
}

void TThreadedTimer::workerLoop() {
    std::unique_lock lock(mutex_);
    while (!terminated_) {
        if (!mayRun()) {
            wake_.wait(lock, [&] { return terminated_ || mayRun(); });
            event_ = false;
            due_ = std::chrono::steady_clock::now();
            continue;
        }
        const auto period = std::chrono::milliseconds(interval_);
        const auto stop = [&] { return event_ || terminated_ || !enabled_; };
        bool signalled = false;
        if (paced_ && interval_ > 0) {
            const auto now = std::chrono::steady_clock::now();
            due_ += period;
            if (due_ < now) // ticks the receiver was too busy for are skipped
                due_ += period * ((now - due_) / period + 1);
            signalled = wake_.wait_until(lock, due_, stop);
        } else {
            signalled = wake_.wait_for(lock, period, stop);
        }
        if (terminated_)
            break;
        if (signalled) {
            event_ = false; // auto-reset; a restart or a disable produces no tick
            due_ = std::chrono::steady_clock::now();
            continue;
        }
        // The hand-over: the tick runs on the timer's own thread and the worker waits for it.
        tickPending_ = true;
        QMetaObject::invokeMethod(this, &TThreadedTimer::runTick, Qt::QueuedConnection);
        wake_.wait(lock, [&] { return !tickPending_ || terminated_; });
    }
}

void TThreadedTimer::runTick() {
    {
        const std::lock_guard lock(mutex_);
        if (!tickPending_)
            return;
        if (!enabled_ || terminated_) {
            tickPending_ = false;
            wake_.notify_all();
            return;
        }
    }
    try {
        emit OnTimer();
    } catch (...) {
        // A failing sample must not end the logger; the tick is dropped.
    }
    {
        const std::lock_guard lock(mutex_);
        ++ticks_;
        tickPending_ = false;
    }
    wake_.notify_all();
}
