#include "platform/AsyncTask.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSemaphore>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

void ensureApp() {
    static int argc = 1;
    static char name[] = "test_platform";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

// Lets events run until `condition` holds, for at most a generous minute.
template <class Condition> bool eventsUntil(Condition condition) {
    QDeadlineTimer deadline(60000);
    while (!condition() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return condition();
}

struct Refused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace

TEST(AsyncTaskTest, TheResultReachesTheContextsThreadFromAnotherThread) {
    ensureApp();
    QObject context;
    std::atomic<Qt::HANDLE> workedOn{nullptr};
    Qt::HANDLE deliveredOn = nullptr;
    std::string delivered;
    platform::runAsync(
        &context,
        [&workedOn] {
            workedOn = QThread::currentThreadId();
            return std::string("thumbnail ready");
        },
        [&](platform::AsyncOutcome<std::string>& outcome) {
            deliveredOn = QThread::currentThreadId();
            delivered = outcome.take();
        });
    ASSERT_TRUE(eventsUntil([&] { return !delivered.empty(); }));
    EXPECT_EQ(delivered, "thumbnail ready");
    EXPECT_EQ(deliveredOn, QThread::currentThreadId());
    EXPECT_NE(workedOn.load(), QThread::currentThreadId());
}

TEST(AsyncTaskTest, AContextDestroyedWhileItsJobRunsHearsNothingAndTheJobEndsOnItsOwnData) {
    ensureApp();
    auto gate = std::make_shared<QSemaphore>();
    auto data = std::make_shared<std::string>("kept by the job");
    bool called = false;
    QFuture<void> job;
    {
        auto context = std::make_unique<QObject>();
        job = platform::runAsync(
            context.get(),
            [gate, data] {
                gate->acquire(); // held until the context is gone
                return data->size();
            },
            [&called](platform::AsyncOutcome<std::size_t>&) { called = true; });
        data.reset(); // only the job holds it now
    }
    gate->release();
    job.waitForFinished();
    // Whatever the job posted is let through: nothing is delivered to the destroyed context.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(called);
}

TEST(AsyncTaskTest, WhatTheJobThrowsComesBackUnchanged) {
    ensureApp();
    QObject context;
    bool caught = false;
    std::string what;
    platform::runAsync(
        &context, []() -> int { throw Refused("the folder is gone"); },
        [&](platform::AsyncOutcome<int>& outcome) {
            try {
                outcome.take();
            } catch (const Refused& e) {
                caught = true;
                what = e.what();
            }
        });
    ASSERT_TRUE(eventsUntil([&] { return caught; }));
    EXPECT_EQ(what, "the folder is gone");

    auto waited = platform::startAsync([] { throw Refused("no drive"); });
    EXPECT_THROW(waited.take(), Refused);
}

TEST(AsyncTaskTest, AWaitedJobSaysWhetherItHasEndedAndGivesItsValue) {
    ensureApp();
    auto gate = std::make_shared<QSemaphore>();
    auto job = platform::startAsync([gate] {
        gate->acquire();
        return 42;
    });
    EXPECT_FALSE(job.waitFor(std::chrono::milliseconds(0))); // held at the gate: cannot have ended
    gate->release();
    EXPECT_TRUE(job.waitFor(std::chrono::minutes(1)));
    EXPECT_TRUE(job.waitFor(std::chrono::milliseconds(0))); // and stays ended
    EXPECT_EQ(job.take(), 42);
}
