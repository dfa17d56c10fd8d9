// Reading ahead in a clip: while the caller works on frame n, one background thread reads and
// decodes frame n+1 (at the scale of the caller's last decode), so that iterating a clip overlaps
// decoding with the engine the way tsrraw convert does. One frame ahead at most, so one decoder
// and the caller's engine are busy at a time. The same object keeps the clip's spare buffers
// (compressed bytes and decoded pictures of frames that are gone) for the frames that follow.
//
// The thread never takes the GIL. Stop() ends it (a decode under way runs to its end); after a
// fork the child's prefetchers have no thread (Orphaned()) and are left alone.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "python/frame.h"

namespace tsr::python {

class Prefetcher : public FrameOwner, public std::enable_shared_from_this<Prefetcher> {
public:
    // `read(index, bytes)` reads frame `index` of the clip (from the background thread too).
    static std::shared_ptr<Prefetcher> Create(std::function<void(int, std::vector<uint8_t>&)> read);
    Prefetcher(const Prefetcher&) = delete;
    Prefetcher& operator=(const Prefetcher&) = delete;
    ~Prefetcher() override;

    // Frame `index` when it was read ahead (decoded at the scale last asked for, unless its decode
    // failed), else null: the caller reads it itself. Work ahead on another frame is cancelled,
    // and waited for when under way. With `next` >= 0, frame `next` is read ahead from now on,
    // once a decode has been asked for since the last frame handed out. Call without the GIL.
    std::shared_ptr<Frame> Take(int index, int next);
    // Drops work ahead that has not started (a loop that ended early); does not wait.
    void Cancel();
    // Ends the thread, waiting for a decode under way. Call without the GIL.
    void Stop();
    // A frame of the clip read from `read` into a recycled buffer.
    std::shared_ptr<Frame> ReadFrame(int index);
    bool Orphaned() const;

    void ScaleAskedFor(int scale) override;
    void GiveBack(std::unique_ptr<media::DecodedPicture> picture) override;

private:
    explicit Prefetcher(std::function<void(int, std::vector<uint8_t>&)> read);
    void Run();
    std::unique_ptr<std::vector<uint8_t>> SpareBytes();

    friend void PrefetchersBeforeFork();
    friend void PrefetchersAfterFork(bool child);

    std::function<void(int, std::vector<uint8_t>&)> m_read;
    mutable std::mutex m_mutex; // guards the members below
    std::condition_variable m_changed;
    std::thread m_thread;
    bool m_stop = false, m_forking = false, m_orphaned = false;
    int m_scale = -1;     // of the caller's last decode; -1: decode nothing ahead
    bool m_asked = false; // a decode was asked for since the last frame handed out
    uint64_t m_job = 0;   // counts jobs queued and cancelled; a job ends usable while it holds
    int m_queued = -1;    // frame to read ahead, not started
    int m_running = -1;   // frame being read ahead
    uint64_t m_runningJob = 0;
    std::shared_ptr<Frame> m_result; // frame read ahead, `m_resultIndex`
    int m_resultIndex = -1;
    std::vector<std::unique_ptr<std::vector<uint8_t>>> m_spareBytes;
    std::vector<std::unique_ptr<media::DecodedPicture>> m_sparePictures;
};

// pthread_atfork handlers: before a fork every prefetcher finishes its decode and holds still;
// afterwards the parent's go on and the child's are orphaned.
void PrefetchersBeforeFork();
void PrefetchersAfterFork(bool child);

} // namespace tsr::python
