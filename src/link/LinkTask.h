#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <coroutine>
#include <exception>
#include <functional>
#include <optional>
#include <utility>

// A flow that talks to the unit, written as a coroutine: each exchange is awaited, so the flow
// reads top to bottom while the user-interface thread goes back to the event loop during every
// pause. A task starts at once; another task awaits it with co_await, a caller that is no
// coroutine hands it a callback with then(). The task object owns its coroutine; then() hands the
// coroutine its own life, so the caller may drop the task.
//
// When the link goes away with a flow still waiting, the link destroys the outermost flow of the
// chain (its locals are destroyed, nothing more of it runs) and no callback is called.
class LinkTaskPromiseBase {
  public:
    LinkTaskPromiseBase* parent = nullptr; // the task awaiting this one
    std::coroutine_handle<> self;
    std::coroutine_handle<> continuation;
    bool detached = false; // then() gave the coroutine its own life
    std::function<void()> onDone;

    // Ends the chain that this task belongs to; used by the link when it goes away.
    static void cancelChain(LinkTaskPromiseBase* innermost) {
        LinkTaskPromiseBase* root = innermost;
        while (root->parent)
            root = root->parent;
        if (root->detached)
            root->self.destroy();
    }

    std::suspend_never initial_suspend() noexcept { return {}; }
    struct FinalAwaiter {
        bool await_ready() noexcept { return false; }
        template <typename P> std::coroutine_handle<> await_suspend(std::coroutine_handle<P> h) noexcept {
            LinkTaskPromiseBase& p = h.promise();
            if (p.continuation)
                return p.continuation;
            if (p.onDone)
                std::exchange(p.onDone, nullptr)();
            if (p.detached)
                h.destroy();
            return std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };
    FinalAwaiter final_suspend() noexcept { return {}; }
    void unhandled_exception() { std::terminate(); }
};

template <typename T> class LinkTask;

namespace link_task_detail {

template <typename T> struct Promise : LinkTaskPromiseBase {
    std::optional<T> value;
    LinkTask<T> get_return_object();
    void return_value(T v) { value = std::move(v); }
    T take() { return std::move(*value); }
};

template <> struct Promise<void> : LinkTaskPromiseBase {
    LinkTask<void> get_return_object();
    void return_void() {}
    void take() {}
};

} // namespace link_task_detail

template <typename T = void> class [[nodiscard]] LinkTask {
  public:
    using promise_type = link_task_detail::Promise<T>;
    using Handle = std::coroutine_handle<promise_type>;

    explicit LinkTask(Handle h) : h_(h) {}
    LinkTask(LinkTask&& other) noexcept : h_(std::exchange(other.h_, {})) {}
    LinkTask& operator=(LinkTask&& other) noexcept {
        if (this != &other) {
            reset();
            h_ = std::exchange(other.h_, {});
        }
        return *this;
    }
    LinkTask(const LinkTask&) = delete;
    LinkTask& operator=(const LinkTask&) = delete;
    ~LinkTask() { reset(); }

    bool done() const { return !h_ || h_.done(); }
    // The result of a finished task (once).
    T result() { return h_.promise().take(); }

    // co_await inside another flow.
    bool await_ready() const noexcept { return h_.done(); }
    template <typename P> void await_suspend(std::coroutine_handle<P> awaiting) noexcept {
        h_.promise().continuation = awaiting;
        h_.promise().parent = &awaiting.promise();
    }
    T await_resume() { return h_.promise().take(); }

    // For callers that are no coroutine: the callback runs from the event loop once the flow has
    // ended (never inside the exchange that ended it), and not at all when context is gone.
    template <typename F> void then(QObject* context, F callback) && {
        QPointer<QObject> guard(context);
        auto deliver = [guard, callback = std::move(callback)](auto&&... value) mutable {
            if (!guard)
                return;
            QMetaObject::invokeMethod(
                guard.data(),
                [guard, callback = std::move(callback), ... v = std::move(value)]() mutable {
                    if (guard)
                        callback(std::move(v)...);
                },
                Qt::QueuedConnection);
        };
        if (h_.done()) {
            if constexpr (std::is_void_v<T>)
                deliver();
            else
                deliver(h_.promise().take());
            return;
        }
        promise_type& p = h_.promise();
        p.detached = true;
        if constexpr (std::is_void_v<T>)
            p.onDone = [deliver = std::move(deliver)]() mutable { deliver(); };
        else
            p.onDone = [deliver = std::move(deliver), &p]() mutable { deliver(p.take()); };
        h_ = {};
    }

  private:
    void reset() {
        if (h_)
            std::exchange(h_, {}).destroy();
    }

    Handle h_;
};

namespace link_task_detail {

template <typename T> LinkTask<T> Promise<T>::get_return_object() {
    self = std::coroutine_handle<Promise<T>>::from_promise(*this);
    return LinkTask<T>(std::coroutine_handle<Promise<T>>::from_promise(*this));
}

inline LinkTask<void> Promise<void>::get_return_object() {
    self = std::coroutine_handle<Promise<void>>::from_promise(*this);
    return LinkTask<void>(std::coroutine_handle<Promise<void>>::from_promise(*this));
}

} // namespace link_task_detail
