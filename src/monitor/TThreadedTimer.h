#pragma once

#include <QObject>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// A timer with a worker thread of its own (TTimerThread). The worker only waits: on an auto-reset
// event with the interval as its time-out. A time-out hands the tick to the user-interface thread
// and waits until it has run there, so ticks are taken late while that thread is busy, never
// twice. Signalling the event (a restart) produces no tick. While disabled the worker sleeps.
class TThreadedTimer : public QObject {
    Q_OBJECT

  public:
    explicit TThreadedTimer(QObject* parent = nullptr);
    // Marks the timer disabled, ends the worker and joins it; a pending tick is dropped.
    ~TThreadedTimer() override;

    bool Enabled() const;
    void setEnabled(bool enabled);
    int Interval() const;
    void setInterval(int ms); // restarts the wait when it changes
    bool AllowZero() const;
    void setAllowZero(bool allow);
    // Paced: each wait ends at the next multiple of the interval since the timer was enabled, so
    // the time the handler takes does not add up; a tick missed while the receiver was busy is
    // skipped, never made up twice. Off: each wait is a whole interval after the last tick.
    bool Paced() const;
    void setPaced(bool paced);
    QThread::Priority ThreadPriority() const { return priority_; }
    void setThreadPriority(QThread::Priority priority);

    // Ticks whose handler has run since construction.
    quint64 ticks() const;
    bool workerRunning() const { return worker_.isRunning(); }

  signals:
    // OnTimer: emitted on the thread the timer lives in, for each tick while enabled.
    void OnTimer();

  private:
    class TTimerThread : public QThread {
      public:
        explicit TTimerThread(TThreadedTimer& owner) : owner_(owner) {}

      protected:
        void run() override { owner_.workerLoop(); }

      private:
        TThreadedTimer& owner_;
    };

    void workerLoop();
    void runTick();
    bool mayRun() const; // under lock

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool enabled_ = false;
    bool allowZero_ = false;
    bool paced_ = false;
    std::chrono::steady_clock::time_point due_{}; // the end of the current paced wait
    bool event_ = false;                          // the auto-reset event
    bool terminated_ = false;
    bool tickPending_ = false;
    int interval_ = 1000;
    quint64 ticks_ = 0;
    QThread::Priority priority_ = QThread::NormalPriority;
    TTimerThread worker_;
};
