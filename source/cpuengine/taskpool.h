// A fixed set of threads that run numbered tasks of one job at a time; the calling thread works
// alongside them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace tsr::cpu {

class TaskPool {
public:
    // `threads` workers in all, the caller included (at least 1).
    explicit TaskPool(int threads);
    TaskPool(const TaskPool&) = delete;
    TaskPool& operator=(const TaskPool&) = delete;
    ~TaskPool();

    int Threads() const { return m_threads; }

    // Runs task(index, worker) for index 0 .. count-1 spread over the workers (worker 0 is the
    // caller) and returns when all are done. Allocates nothing.
    template <class Task> void Run(int count, Task& task) {
        RunTasks(
            count,
            [](void* context, int index, int worker) { (*static_cast<Task*>(context))(index, worker); },
            &task);
    }

private:
    using TaskFunction = void (*)(void* context, int index, int worker);
    void RunTasks(int count, TaskFunction task, void* context);
    void Work(int worker);
    void Drain(int worker);

    int m_threads;
    std::vector<std::thread> m_workers;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    TaskFunction m_task = nullptr;
    void* m_context = nullptr;
    int m_count = 0;
    int m_next = 0;     // next task index to hand out
    int m_finished = 0; // tasks completed
    std::uint64_t m_generation = 0;
    bool m_stop = false;
};

} // namespace tsr::cpu
