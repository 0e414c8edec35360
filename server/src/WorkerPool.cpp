#include "WorkerPool.h"

namespace pindle {

WorkerPool::WorkerPool(int threads) {
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { run(); });
}

WorkerPool::~WorkerPool() {
    stop();
}

void WorkerPool::stop() {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_stopping = true;
    }
    m_ready.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
}

void WorkerPool::post(std::function<void()> job) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_stopping) {
            m_jobs.push_back(std::move(job));
            m_ready.notify_one();
            return;
        }
    }
    job();
}

bool WorkerPool::tryPost(std::function<void()> job, size_t maxQueued) {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping || m_jobs.size() >= maxQueued)
            return false;
        m_jobs.push_back(std::move(job));
    }
    m_ready.notify_one();
    return true;
}

void WorkerPool::run() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_ready.wait(lock, [&] { return m_stopping || !m_jobs.empty(); });
            if (m_jobs.empty())
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
}

} // namespace pindle
