#include "relay_lane.h"

#include <algorithm>

namespace relay {

WorkLane::WorkLane(size_t threads, size_t bound) : m_bound(bound)
{
    for (size_t i = 0; i < std::max<size_t>(1, threads); ++i)
        m_threads.emplace_back([this] { work(); });
}

WorkLane::~WorkLane()
{
    finish();
}

bool WorkLane::push(std::function<void()> job)
{
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_finishing || m_jobs.size() >= m_bound)
            return false;
        m_jobs.push_back(std::move(job));
    }
    m_ready.notify_one();
    return true;
}

void WorkLane::finish()
{
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_finishing = true;
    }
    m_ready.notify_all();
    for (std::thread& t : m_threads)
        if (t.joinable())
            t.join();
}

size_t WorkLane::queued() const
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_jobs.size();
}

void WorkLane::work()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> guard(m_lock);
            m_ready.wait(guard, [this] { return m_finishing || !m_jobs.empty(); });
            if (m_jobs.empty())
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
}

} // namespace relay
