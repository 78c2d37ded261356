#pragma once

#include "link/LinkTask.h"
#include "session/TuneSession.h"

#include <QApplication>
#include <QObject>

#include <functional>
#include <type_traits>
#include <utility>

// Starts the session's flows for the window: the wait pointer while any runs, its result handed to
// a callback once it has ended, and one flow at a time (a flow asked for while another runs is
// refused with a word in the status bar, and nothing is sent).
class FlowRunner : public QObject {
    Q_OBJECT

  public:
    FlowRunner(TuneSession& session, std::function<void(const QString&)> status, QObject* parent)
        : QObject(parent), session_(session), status_(std::move(status)) {}

    // A flow started here has not ended yet.
    bool running() const { return running_ > 0; }

    // True (and said) when a flow is under way.
    bool refuseWhileBusy() {
        if (running_ == 0 && !session_.busy())
            return false;
        status_(QStringLiteral("Wait: the EMU is busy with the task under way"));
        return true;
    }

    template <typename T, typename F> void run(LinkTask<T> task, F done) {
        if (++running_ == 1)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        auto finish = [this] {
            if (--running_ == 0)
                QApplication::restoreOverrideCursor();
        };
        if constexpr (std::is_void_v<T>)
            std::move(task).then(this, [finish, done = std::move(done)]() mutable {
                finish();
                done();
            });
        else
            std::move(task).then(this, [finish, done = std::move(done)](T value) mutable {
                finish();
                done(std::move(value));
            });
    }

  private:
    TuneSession& session_;
    std::function<void(const QString&)> status_;
    int running_ = 0;
};
