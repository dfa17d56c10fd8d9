#include "workerpool.h"

#include <new>
#include <system_error>

#include "common/trace.h"

namespace tsr {

std::unique_ptr<WorkerPool> WorkerPool::Create(int threads) {
    std::unique_ptr<WorkerPool> pool;
    try {
        pool.reset(new WorkerPool);
        pool->m_threads.reserve(threads);
    } catch (const std::exception&) {
        return nullptr;
    }
    pool->m_threadCount = threads;
    std::unique_lock<std::mutex> lock(pool->m_mutex);
    for (int i = 0; i < threads; ++i) {
        try {
            pool->m_threads.emplace_back(&WorkerPool::WorkerLoop, pool.get());
        } catch (const std::system_error& e) {
            (void)e;
            Trace(L"worker thread could not be started\n");
            lock.unlock();
            pool->ShutDown();
            return nullptr;
        }
    }
    // Start-up barrier: wait until every worker has reached its idle wait once.
    pool->m_pending = true;
    pool->m_idle.wait(lock, [&] { return !pool->m_pending; });
    const bool failed = pool->m_failed;
    lock.unlock();
    if (failed) return nullptr; // the destructor ends the workers
    return pool;
}

WorkerPool::~WorkerPool() {
    ShutDown();
}

void WorkerPool::ShutDown() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_shutdown = true;
    }
    m_work.notify_all();
    for (std::thread& t : m_threads)
        if (t.joinable()) t.join();
    m_threads.clear();
}

void WorkerPool::Run(const RowRecord* rows, size_t count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_rows = rows;
    m_nextRow = 0;
    m_endRow = count;
    ++m_batch;
    m_batchWorkers = 0;
    m_pending = true;
    m_work.notify_all();
    m_idle.wait(lock, [&] { return !m_pending; });
    m_rows = nullptr;
    m_lastRunWorkers = m_batchWorkers;
}

void WorkerPool::WorkerLoop() {
    std::unique_ptr<WorkerScratch> scratch(new (std::nothrow) WorkerScratch);
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!scratch) m_failed = true;
    unsigned batchSeen = 0;
    while (!m_shutdown) {
        while (m_nextRow != m_endRow) {
            if (batchSeen != m_batch) {
                batchSeen = m_batch;
                ++m_batchWorkers;
            }
            const RowRecord& row = m_rows[m_nextRow++];
            lock.unlock();
            if (scratch) DecodeRow(row, *scratch);
            lock.lock();
        }
        if (++m_idleCount == m_threadCount && m_pending) {
            m_pending = false;
            m_idle.notify_one();
        }
        m_work.wait(lock);
        --m_idleCount;
    }
}

} // namespace tsr
