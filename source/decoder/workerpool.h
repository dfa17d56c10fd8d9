// A fixed pool of worker threads that decode the macroblock rows of one frame at a time.
//
// The dispatcher publishes a batch of rows, sets the pending flag and wakes every worker;
// workers claim rows one at a time under the pool mutex and decode them without any lock; the
// last worker to go idle clears the pending flag and wakes the dispatcher. The same flag serves
// as the start-up barrier: creation returns once every worker has reached its idle wait.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "slicedecoder.h"
#include "tsr/framedecoder.h"

namespace tsr {

constexpr int kMaxWorkers = 64;

class WorkerPool {
public:
    // Starts `threads` workers (1..64). Returns null when a thread or a worker's scratch cannot
    // be had; the workers already started are ended.
    static std::unique_ptr<WorkerPool> Create(int threads);
    ~WorkerPool();

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Decodes every row and returns when all are done.
    void Run(const RowRecord* rows, size_t count);

    int ThreadCount() const { return m_threadCount; }
    // Workers that decoded at least one row of the last batch: a pool that leaves the rows to
    // one worker decodes correctly, only slower, so tests observe the spread here.
    int LastRunWorkers() const { return m_lastRunWorkers; }

private:
    WorkerPool() = default;
    void WorkerLoop();
    void ShutDown();

    std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_idle;
    std::vector<std::thread> m_threads;
    int m_threadCount = 0;
    int m_idleCount = 0;
    bool m_pending = false;
    bool m_shutdown = false;
    bool m_failed = false;
    const RowRecord* m_rows = nullptr;
    size_t m_nextRow = 0;
    size_t m_endRow = 0;
    unsigned m_batch = 0;   // batches started; a worker counts itself once per batch
    int m_batchWorkers = 0; // workers that claimed a row of the current batch
    int m_lastRunWorkers = 0;
};

// The worker pool of a decoder (for tests).
const WorkerPool& PoolOf(FrameDecoderHandle decoder);

} // namespace tsr
