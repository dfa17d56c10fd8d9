// The processors of a pipeline whose stages run at once, shared so that together they never ask
// for more than there are: the decoder's workers take as many as it has for each frame, the CPU
// engine's workers one each for each strip of rows. Requests are served in the order they come,
// so a stage that needs several is not starved by one that takes them one at a time.
//
//   auto share = std::make_shared<tsr::media::ProcessorShare>(processors);
//   engine->ShareProcessors(share);                      // its workers now take from it
//   {
//       tsr::media::ProcessorShare::Lease lease(*share, decoderThreads);
//       decoder.Decode(...);                              // while the lease holds them
//   }
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tsr::media {

class ProcessorShare {
public:
    explicit ProcessorShare(int processors) : m_processors(std::max(1, processors)), m_free(m_processors) {}
    ProcessorShare(const ProcessorShare&) = delete;
    ProcessorShare& operator=(const ProcessorShare&) = delete;

    int Processors() const { return m_processors; }

    // Waits until every earlier request is served and `count` processors are free, and takes
    // them; `count` is held to 1..Processors(). Returns how many were taken, for Give.
    int Take(int count) {
        count = std::clamp(count, 1, m_processors);
        std::unique_lock<std::mutex> hold(m_mutex);
        const std::uint64_t ticket = m_nextTicket++;
        m_changed.wait(hold, [&] { return ticket == m_serving && m_free >= count; });
        m_free -= count;
        ++m_serving;
        hold.unlock();
        m_changed.notify_all(); // the next request may fit as well
        return count;
    }
    void Give(int count) {
        {
            std::lock_guard<std::mutex> hold(m_mutex);
            m_free += count;
        }
        m_changed.notify_all();
    }

    // Processors taken for a scope.
    class Lease {
    public:
        Lease(ProcessorShare& share, int count) : m_share(share), m_count(share.Take(count)) {}
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease() { m_share.Give(m_count); }

    private:
        ProcessorShare& m_share;
        int m_count;
    };

private:
    const int m_processors;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_free;
    std::uint64_t m_nextTicket = 0, m_serving = 0;
};

} // namespace tsr::media
