#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace relay {

// A few threads running jobs from a bounded queue, oldest first. A job that does not fit is
// refused at once, so that a flood of requests never builds a backlog nobody waits for.
class WorkLane {
public:
    WorkLane(size_t threads, size_t bound);
    ~WorkLane();
    WorkLane(const WorkLane&) = delete;
    WorkLane& operator=(const WorkLane&) = delete;

    // False when the queue is full or the lane has finished.
    [[nodiscard]] bool push(std::function<void()> job);
    // Runs what is queued (jobs drop their own work when the service stops), then joins.
    void finish();
    size_t queued() const;

private:
    void work();

    const size_t m_bound;
    mutable std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<std::function<void()>> m_jobs;
    bool m_finishing = false;
    std::vector<std::thread> m_threads;
};

} // namespace relay
