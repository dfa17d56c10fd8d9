#include "python/prefetch.h"

#include <set>
#include <system_error>
#include <utility>

#include "tsr/media/decodedpicture.h"

namespace tsr::python {

namespace {

// Spare buffers kept: enough for the frame in the caller's hands, the one read ahead and the one
// the caller has just let go of.
constexpr size_t kSpareBytes = 3;
constexpr size_t kSparePictures = 2;

struct Registry {
    std::mutex mutex;
    std::set<Prefetcher*> prefetchers;
};
// Never destroyed: clips may be collected while the interpreter shuts down.
Registry& Prefetchers() {
    static Registry* registry = new Registry;
    return *registry;
}

} // namespace

std::shared_ptr<Prefetcher> Prefetcher::Create(std::function<void(int, std::vector<uint8_t>&)> read) {
    return std::shared_ptr<Prefetcher>(new Prefetcher(std::move(read)));
}

Prefetcher::Prefetcher(std::function<void(int, std::vector<uint8_t>&)> read) : m_read(std::move(read)) {
    Registry& registry = Prefetchers();
    const std::lock_guard<std::mutex> lock(registry.mutex);
    registry.prefetchers.insert(this);
}

Prefetcher::~Prefetcher() {
    Stop();
    Registry& registry = Prefetchers();
    const std::lock_guard<std::mutex> lock(registry.mutex);
    registry.prefetchers.erase(this);
}

bool Prefetcher::Orphaned() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_orphaned;
}

void Prefetcher::Stop() {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_orphaned) return; // the thread stayed in the parent
        m_stop = true;
        m_queued = -1;
        ++m_job;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
    std::shared_ptr<Frame> result;
    const std::lock_guard<std::mutex> lock(m_mutex);
    result = std::move(m_result); // destroyed after the lock: it gives its picture back
    m_resultIndex = -1;
}

void Prefetcher::Cancel() {
    std::shared_ptr<Frame> result; // destroyed after the lock: it gives its buffers back
    const std::lock_guard<std::mutex> lock(m_mutex);
    ++m_job;
    m_queued = -1;
    result = std::move(m_result);
    m_resultIndex = -1;
}

std::shared_ptr<Frame> Prefetcher::Take(int index, int next) {
    std::shared_ptr<Frame> frame, stale; // destroyed after the lock
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_running >= 0 && !(m_running == index && m_runningJob == m_job)) ++m_job; // not wanted
    m_queued = -1;
    // Another frame's decode runs to its end before the caller starts its own: one decoder at a time.
    m_changed.wait(lock, [this] { return m_running < 0; });
    if (m_resultIndex == index)
        frame = std::move(m_result);
    else
        stale = std::move(m_result);
    m_resultIndex = -1;
    if (next >= 0 && !m_stop && !m_orphaned) {
        // A loop that stopped decoding the frames it is handed gets none decoded ahead until
        // it decodes again.
        if (!m_asked) m_scale = -1;
        m_asked = false;
        ++m_job;
        m_queued = next;
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread(&Prefetcher::Run, this);
            } catch (const std::system_error&) {
                m_queued = -1; // no reading ahead then
            }
        }
        lock.unlock();
        m_changed.notify_all();
    }
    return frame;
}

void Prefetcher::ScaleAskedFor(int scale) {
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_asked = true;
        if (m_scale == scale || m_orphaned) return; // an orphan's waiters are not in this process
        m_scale = scale;
    }
    m_changed.notify_all();
}

void Prefetcher::GiveBack(std::unique_ptr<media::DecodedPicture> picture) {
    std::unique_ptr<media::DecodedPicture> surplus; // freed after the lock
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_sparePictures.size() < kSparePictures)
        m_sparePictures.push_back(std::move(picture));
    else
        surplus = std::move(picture);
}

std::unique_ptr<std::vector<uint8_t>> Prefetcher::SpareBytes() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_spareBytes.empty()) return std::make_unique<std::vector<uint8_t>>();
    std::unique_ptr<std::vector<uint8_t>> bytes = std::move(m_spareBytes.back());
    m_spareBytes.pop_back();
    return bytes;
}

std::shared_ptr<Frame> Prefetcher::ReadFrame(int index) {
    std::unique_ptr<std::vector<uint8_t>> bytes = SpareBytes();
    m_read(index, *bytes);
    // The bytes come back for a later frame when this one and its copies are gone.
    std::weak_ptr<Prefetcher> self = weak_from_this();
    std::shared_ptr<const std::vector<uint8_t>> shared(
        bytes.release(), [self](const std::vector<uint8_t>* p) {
            std::unique_ptr<std::vector<uint8_t>> owned(const_cast<std::vector<uint8_t>*>(p));
            if (const std::shared_ptr<Prefetcher> prefetcher = self.lock()) {
                const std::lock_guard<std::mutex> lock(prefetcher->m_mutex);
                if (prefetcher->m_spareBytes.size() < kSpareBytes)
                    prefetcher->m_spareBytes.push_back(std::move(owned));
            }
        });
    return std::make_shared<Frame>(std::move(shared), index, 0, weak_from_this());
}

void Prefetcher::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || (m_queued >= 0 && m_scale >= 0 && !m_forking); });
        if (m_stop) return;
        const int index = m_queued, scale = m_scale;
        const uint64_t job = m_job;
        m_queued = -1;
        m_running = index;
        m_runningJob = job;
        std::unique_ptr<media::DecodedPicture> picture;
        if (!m_sparePictures.empty()) {
            picture = std::move(m_sparePictures.back());
            m_sparePictures.pop_back();
        }
        lock.unlock();
        // Failures are the caller's to see: a frame that cannot be read is left for it to read,
        // and one that does not decode (refused, too large, out of memory) raises on first use.
        std::shared_ptr<Frame> frame;
        try {
            frame = ReadFrame(index);
        } catch (...) {
        }
        if (frame) {
            try {
                frame->DecodeAhead(scale, std::move(picture));
            } catch (...) {
            }
        }
        lock.lock();
        if (job == m_job) {
            std::swap(m_result, frame);
            m_resultIndex = index;
        }
        m_running = -1;
        lock.unlock();
        m_changed.notify_all();
        frame.reset(); // a frame no longer wanted gives its buffers back
        lock.lock();
    }
}

void PrefetchersBeforeFork() {
    Registry& registry = Prefetchers();
    registry.mutex.lock();
    for (Prefetcher* prefetcher : registry.prefetchers) {
        std::unique_lock<std::mutex> lock(prefetcher->m_mutex);
        prefetcher->m_forking = true;
        prefetcher->m_changed.wait(lock, [prefetcher] { return prefetcher->m_running < 0; });
        lock.release(); // held across the fork: the thread is idle, waiting
    }
}

void PrefetchersAfterFork(bool child) {
    Registry& registry = Prefetchers();
    for (Prefetcher* prefetcher : registry.prefetchers) {
        prefetcher->m_forking = false;
        if (child) prefetcher->m_orphaned = true;
        prefetcher->m_mutex.unlock();
        if (!child) prefetcher->m_changed.notify_all();
    }
    if (child) registry.prefetchers.clear(); // orphans are never destroyed
    registry.mutex.unlock();
}

} // namespace tsr::python
