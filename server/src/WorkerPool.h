#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace pindle {

/// A few threads for blocking work (database calls, password hashing), so the threads that serve
/// connections never wait on them.
class WorkerPool {
public:
    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;

    void post(std::function<void()> job);
    /// Posts unless `maxQueued` jobs are already waiting; false when the job was refused.
    [[nodiscard]] bool tryPost(std::function<void()> job, size_t maxQueued);
    /// Runs what is queued, then ends the threads. A later post runs at once on the caller's
    /// thread, so no request goes unanswered; a later tryPost is refused.
    void stop();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::function<void()>> m_jobs;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace pindle
