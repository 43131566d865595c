#pragma once
// A fixed set of worker threads, one per core, for the CPU-bound part of a batch (enciphering many
// small files). Tasks return futures; the caller takes the results in the order it needs and keeps
// the number in flight bounded, so memory stays flat however long the batch.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace core {

class WorkerPool final {
public:
    // `threads` 0: one per core (at least one).
    explicit WorkerPool(std::size_t threads = 0) {
        if (threads == 0)
            threads = std::max(1u, std::thread::hardware_concurrency());
        m_threads.reserve(threads);
        for (std::size_t i = 0; i < threads; ++i)
            m_threads.emplace_back([this] { work(); });
    }
    ~WorkerPool() {
        {
            const std::lock_guard<std::mutex> hold(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        for (auto& t : m_threads)
            t.join();
    }
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    std::size_t size() const { return m_threads.size(); }

    // Runs `task` on a worker; its result, or what it threw, comes through the future.
    template <class Task> auto submit(Task task) -> std::future<decltype(task())> {
        using Result = decltype(task());
        auto packaged = std::make_shared<std::packaged_task<Result()>>(std::move(task));
        std::future<Result> result = packaged->get_future();
        {
            const std::lock_guard<std::mutex> hold(m_mutex);
            m_queue.emplace_back([packaged] { (*packaged)(); });
        }
        m_wake.notify_one();
        return result;
    }

private:
    void work() {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock<std::mutex> hold(m_mutex);
                m_wake.wait(hold, [this] { return m_stopping || !m_queue.empty(); });
                if (m_queue.empty())
                    return; // stopping, and nothing left to do
                task = std::move(m_queue.front());
                m_queue.pop_front();
            }
            task();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    std::vector<std::thread> m_threads;
    bool m_stopping = false;
};

} // namespace core
