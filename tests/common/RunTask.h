#pragma once

#include "link/LinkTask.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <optional>
#include <type_traits>

// Runs a link task to its end from a test: the event loop turns (timers, queued resumes) until the
// task is done. Empty when it is still running after timeoutMs; QVERIFY the result.
//
//     const auto id = runTask(link.identify(300));
//     QVERIFY(id);
template <typename T> bool spinUntilDone(const LinkTask<T>& task, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    QTimer wake; // a stuck task still ends the wait at the deadline
    wake.setSingleShot(true);
    wake.start(timeoutMs);
    while (!task.done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return task.done();
}

template <typename T> std::optional<T> runTask(LinkTask<T> task, int timeoutMs = 10000) {
    if (!spinUntilDone(task, timeoutMs))
        return std::nullopt;
    return task.result();
}

// The void form: true when the task ended in time.
inline bool runTask(LinkTask<void> task, int timeoutMs = 10000) {
    return spinUntilDone(task, timeoutMs);
}
