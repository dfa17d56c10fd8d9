#include "pipeline/convertpipeline.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "format/frameheader.h"
#include "support/progress.h"
#include "support/toolerror.h"
#include "tsr/media/decodedpicture.h"
#include "tsr/media/frames.h"

namespace tsr::tools {

using namespace media;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A closable FIFO of owned items; Pop waits, and returns false once closed and drained.
template <typename T> class Channel {
public:
    void Push(T item) {
        {
            std::lock_guard<std::mutex> hold(m_mutex);
            m_items.push_back(std::move(item));
        }
        m_ready.notify_one();
    }
    bool Pop(T& item) {
        std::unique_lock<std::mutex> hold(m_mutex);
        m_ready.wait(hold, [this] { return !m_items.empty() || m_closed; });
        if (m_items.empty()) return false;
        item = std::move(m_items.front());
        m_items.pop_front();
        return true;
    }
    void Close() {
        {
            std::lock_guard<std::mutex> hold(m_mutex);
            m_closed = true;
        }
        m_ready.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<T> m_items;
    bool m_closed = false;
};

struct DecodedItem {
    int index = -1;
    DecodedPicture picture;
};

// False for a damaged frame that the job goes past.
bool DecodeFrame(const ConvertJob& job, int index, std::vector<uint8_t>& bytes, DecodedItem& item) {
    item.index = index;
    return DecodeClipFrameOrNote(*job.clip, index, bytes, item.picture, job.decoder, job.scaleIndex,
                                 job.damaged);
}

ConvertTimings RunSequential(const ConvertJob& job) {
    ConvertTimings timings;
    std::vector<uint8_t> bytes;
    DecodedItem decoded;
    RgbaFrame rgba;
    for (int index = job.range.first; index <= job.range.last && job.clip->HasFrame(index); ++index) {
        Clock::time_point start = Clock::now();
        const bool usable = DecodeFrame(job, index, bytes, decoded);
        timings.decodeSeconds += SecondsSince(start);
        if (!usable) continue;
        start = Clock::now();
        rgba.index = index;
        job.session->Process(decoded.picture, job.debayer, rgba);
        timings.debayerSeconds += SecondsSince(start);
        start = Clock::now();
        job.write(rgba);
        timings.writeSeconds += SecondsSince(start);
        ++timings.frames;
        if (job.progress) job.progress->Advance();
    }
    return timings;
}

// Lends the share to the engine for the length of a job.
class SharedProcessors {
public:
    SharedProcessors(const ConvertJob& job) : m_engine(*job.session) {
        if (job.processors) m_engine.ShareProcessors(job.processors);
    }
    ~SharedProcessors() { m_engine.ShareProcessors(nullptr); }

private:
    RgbaEngine& m_engine;
};

ConvertTimings RunOverlapped(const ConvertJob& job) {
    const SharedProcessors shared(job);
    constexpr int kBuffers = 2;
    Channel<std::unique_ptr<DecodedItem>> freeDecoded, fullDecoded;
    Channel<std::unique_ptr<RgbaFrame>> freeRgba, fullRgba;
    for (int i = 0; i < kBuffers; ++i) {
        freeDecoded.Push(std::make_unique<DecodedItem>());
        freeRgba.Push(std::make_unique<RgbaFrame>());
    }
    // A failure ends the stream at that frame: every earlier frame still passes through the
    // later stages, no later frame is started, and the first failure is rethrown at the end.
    std::mutex failureMutex;
    std::exception_ptr failure;
    auto record = [&](std::exception_ptr error) {
        std::lock_guard<std::mutex> hold(failureMutex);
        if (!failure) failure = std::move(error);
    };

    ConvertTimings timings;
    double decodeSeconds = 0, writeSeconds = 0;
    std::thread decoder([&] {
        try {
            std::vector<uint8_t> bytes;
            std::unique_ptr<DecodedItem> item; // kept for the next frame when this one is skipped
            for (int index = job.range.first; index <= job.range.last && job.clip->HasFrame(index); ++index) {
                if (!item && !freeDecoded.Pop(item)) break; // a later stage stopped
                Clock::time_point start = Clock::now();
                bool usable;
                if (job.processors) {
                    const ProcessorShare::Lease lease(*job.processors, job.decoderThreads);
                    start = Clock::now(); // the wait for the engine's strips is not decoding
                    usable = DecodeFrame(job, index, bytes, *item);
                } else {
                    usable = DecodeFrame(job, index, bytes, *item);
                }
                decodeSeconds += SecondsSince(start);
                if (usable) fullDecoded.Push(std::move(item));
            }
        } catch (...) {
            record(std::current_exception());
        }
        fullDecoded.Close();
    });
    std::thread writer([&] {
        try {
            std::unique_ptr<RgbaFrame> frame;
            while (fullRgba.Pop(frame)) {
                const Clock::time_point start = Clock::now();
                job.write(*frame);
                writeSeconds += SecondsSince(start);
                if (job.progress) job.progress->Advance();
                freeRgba.Push(std::move(frame));
            }
        } catch (...) {
            record(std::current_exception());
            freeRgba.Close();
            freeDecoded.Close();
        }
    });

    try {
        std::unique_ptr<DecodedItem> item;
        while (fullDecoded.Pop(item)) {
            std::unique_ptr<RgbaFrame> frame;
            if (!freeRgba.Pop(frame)) break; // the writer stopped
            const Clock::time_point start = Clock::now();
            frame->index = item->index;
            job.session->Process(item->picture, job.debayer, *frame);
            timings.debayerSeconds += SecondsSince(start);
            freeDecoded.Push(std::move(item));
            fullRgba.Push(std::move(frame));
            ++timings.frames;
        }
    } catch (...) {
        record(std::current_exception());
    }
    freeDecoded.Close();
    fullRgba.Close();
    decoder.join();
    writer.join();
    if (failure) std::rethrow_exception(failure);
    timings.decodeSeconds = decodeSeconds;
    timings.writeSeconds = writeSeconds;
    return timings;
}

} // namespace

ConvertTimings RunConvertJob(const ConvertJob& job) {
    const Clock::time_point start = Clock::now();
    ConvertTimings timings = job.overlap ? RunOverlapped(job) : RunSequential(job);
    timings.wallSeconds = SecondsSince(start);
    return timings;
}

} // namespace tsr::tools
