#pragma once
// The one way to run a job off the window's thread: the job runs on Qt's thread pool
// (QtConcurrent), and its result comes back either
//  - to a QObject's thread (runAsync): the callback runs there, and never when that object was
//    destroyed first (a window closed while its job runs), while the job itself finishes on its own
//    data; or
//  - to the caller that waits for it (startAsync): waitFor() lets the caller show progress or keep
//    its window painting meanwhile, take() gives the result.
// What the job throws is handed on unchanged: take() (or the callback's take()) rethrows it.
// Data-parallel work inside one computation (the cipher's batch pool, the thumbnail pool) keeps its
// own pool; this is for a job whose one result goes back to whoever started it.

#include <QFutureWatcher>
#include <QObject>
#include <QSemaphore>
#include <QtConcurrent/QtConcurrentRun>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace platform {

// A job's end: its value, or what it threw.
template <class T> class AsyncOutcome {
public:
    // The value, or the job's exception rethrown.
    T take() {
        if (m_error)
            std::rethrow_exception(m_error);
        if constexpr (!std::is_void_v<T>)
            return std::move(*m_value);
    }

    template <class Work> static AsyncOutcome run(Work& work) {
        AsyncOutcome outcome;
        try {
            if constexpr (std::is_void_v<T>)
                work();
            else
                outcome.m_value.emplace(work());
        } catch (...) {
            outcome.m_error = std::current_exception();
        }
        return outcome;
    }

private:
    struct Nothing {};
    std::optional<std::conditional_t<std::is_void_v<T>, Nothing, T>> m_value;
    std::exception_ptr m_error;
};

template <class Work> using AsyncResultOf = std::invoke_result_t<Work&>;

// Runs `work` off this thread; `done(AsyncOutcome<R>&)` runs on `context`'s thread when it ends, unless
// `context` is gone by then. `work` must own (or share) everything it uses. The future returned lets
// an owner that must not be destroyed while its job runs wait for the job's end.
template <class Work, class Done> QFuture<void> runAsync(QObject* context, Work work, Done done) {
    using R = AsyncResultOf<Work>;
    auto* watcher = new QFutureWatcher<AsyncOutcome<R>>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context, [watcher, done = std::move(done)]() mutable {
        AsyncOutcome<R> outcome = watcher->result();
        watcher->deleteLater();
        done(outcome);
    });
    QFuture<AsyncOutcome<R>> future =
        QtConcurrent::run([work = std::move(work)]() mutable { return AsyncOutcome<R>::run(work); });
    watcher->setFuture(future);
    return QFuture<void>(future);
}

// A job the caller waits for.
template <class R> class AsyncJob {
public:
    template <class Work> explicit AsyncJob(Work work) : m_ended(std::make_shared<QSemaphore>()) {
        m_future = QtConcurrent::run([work = std::move(work), ended = m_ended]() mutable {
            AsyncOutcome<R> outcome = AsyncOutcome<R>::run(work);
            ended->release();
            return outcome;
        });
    }
    AsyncJob(AsyncJob&&) noexcept = default;
    AsyncJob& operator=(AsyncJob&&) noexcept = default;
    // Waits at most `limit` for the job to end; true when it has.
    bool waitFor(std::chrono::milliseconds limit) {
        if (m_done)
            return true;
        m_done = m_ended->tryAcquire(1, static_cast<int>(limit.count()));
        return m_done;
    }
    // Waits for the end; the value, or the job's exception rethrown.
    R take() {
        m_future.waitForFinished();
        AsyncOutcome<R> outcome = m_future.result();
        return outcome.take();
    }

private:
    std::shared_ptr<QSemaphore> m_ended;
    QFuture<AsyncOutcome<R>> m_future;
    bool m_done = false;
};

template <class Work> AsyncJob<AsyncResultOf<Work>> startAsync(Work work) {
    return AsyncJob<AsyncResultOf<Work>>(std::move(work));
}

} // namespace platform
