// Helpers the benchmarks share (each program also gets private settings and state folders before
// main()): the steady clock the simulator stamps its record with, percentiles, and a feeder that posts user
// actions to the user-interface thread at random moments (so that many land while a poll waits out its
// pause).
#pragma once

#include "EmuSimulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMetaObject>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <thread>
#include <vector>

namespace bench {

// Steady-clock microseconds, the clock of SimCommand::receivedUs.
inline qint64 nowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// p in 0..1; nearest rank.
inline double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto rank = static_cast<size_t>(p * static_cast<double>(v.size()) + 0.5);
    return v[std::min(v.size() - 1, rank == 0 ? 0 : rank - 1)];
}

// The process's resident memory in kB (0 when /proc cannot say).
inline long rssKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

inline void runFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Posts action(k, postedUs) to target's thread from a thread of its own, each after a random wait of
// minMs..maxMs (not a multiple of the poll period, so the moments fall anywhere in the poll's cycle),
// until count actions were posted or stop() is called. The caller turns the event loop meanwhile.
class RandomFeeder {
  public:
    using Action = std::function<void(int k, qint64 postedUs)>;

    RandomFeeder(QObject* target, Action action, int minMs, int maxMs, std::uint32_t seed = 7)
        : target_(target), action_(std::move(action)), minMs_(minMs), maxMs_(maxMs), seed_(seed) {}
    ~RandomFeeder() { stop(); }

    void start(int count = -1) {
        stop_ = false;
        thread_ = std::thread([this, count] {
            std::mt19937 random(seed_);
            std::uniform_int_distribution<int> waitUs(minMs_ * 1000, maxMs_ * 1000);
            for (int k = 0; (count < 0 || k < count) && !stop_.load(); ++k) {
                std::this_thread::sleep_for(std::chrono::microseconds(waitUs(random)));
                const qint64 posted = nowUs();
                posted_.fetch_add(1);
                QMetaObject::invokeMethod(
                    target_,
                    [this, k, posted] {
                        action_(k, posted);
                        done_.fetch_add(1);
                    },
                    Qt::QueuedConnection);
            }
        });
    }
    // Turns the event loop until count actions have run.
    void runUntilDone(int count) {
        while (done_.load() < count)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    // Stops posting and lets every posted action run.
    void stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        while (done_.load() < posted_.load())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

  private:
    QObject* target_;
    Action action_;
    int minMs_;
    int maxMs_;
    std::uint32_t seed_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> posted_{0};
    std::atomic<int> done_{0};
};

// When each live query reached the unit: the host waits the unit's pause from about then.
inline std::vector<qint64> pollStarts(const QList<SimCommand>& commands) {
    std::vector<qint64> out;
    for (const SimCommand& c : commands)
        if (!c.bytes.isEmpty() && static_cast<std::uint8_t>(c.bytes.at(0)) == 0xFC)
            out.push_back(c.receivedUs);
    return out;
}

// Whether a moment falls inside a poll's pause (pauseMs after its query reached the unit).
inline bool insidePause(const std::vector<qint64>& starts, qint64 us, int pauseMs) {
    auto it = std::upper_bound(starts.begin(), starts.end(), us);
    if (it == starts.begin())
        return false;
    return us - *std::prev(it) <= pauseMs * 1000;
}

} // namespace bench
