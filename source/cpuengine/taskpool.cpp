#include "taskpool.h"

namespace tsr::cpu {

TaskPool::TaskPool(int threads) : m_threads(threads < 1 ? 1 : threads) {
    for (int i = 1; i < m_threads; ++i) m_workers.emplace_back([this, i] { Work(i); });
}

TaskPool::~TaskPool() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers) worker.join();
}

void TaskPool::RunTasks(int count, TaskFunction task, void* context) {
    if (count <= 0) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_task = task;
        m_context = context;
        m_count = count;
        m_next = 0;
        m_finished = 0;
        ++m_generation;
    }
    m_wake.notify_all();
    Drain(0);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_done.wait(lock, [this] { return m_finished == m_count; });
    m_task = nullptr;
}

void TaskPool::Drain(int worker) {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (m_task && m_next < m_count) {
        const int index = m_next++;
        const TaskFunction task = m_task;
        void* const context = m_context;
        lock.unlock();
        task(context, index, worker);
        lock.lock();
        if (++m_finished == m_count) m_done.notify_all();
    }
}

void TaskPool::Work(int worker) {
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop || m_generation != seen; });
            if (m_stop) return;
            seen = m_generation;
        }
        Drain(worker);
    }
}

} // namespace tsr::cpu
