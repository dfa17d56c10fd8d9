#include "python/ownedarray.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace py = pybind11;

namespace tsr::python {

namespace {

// Enough for the frame being worked on and the one before it in a loop over a clip.
constexpr size_t kMaxIdleBuffers = 2;
constexpr size_t kMaxIdleBytes = size_t(512) << 20;

struct IdleBuffers {
    std::mutex mutex;
    std::vector<std::vector<uint8_t>> buffers;
};
// Never destroyed: arrays may outlive the module's statics at interpreter exit.
std::atomic<IdleBuffers*> g_idle{new IdleBuffers};

void Recycle(std::vector<uint8_t>&& bytes) {
    std::vector<uint8_t> surplus; // freed outside the lock
    IdleBuffers& idle = *g_idle;
    const std::lock_guard<std::mutex> lock(idle.mutex);
    size_t idleBytes = bytes.size();
    for (const std::vector<uint8_t>& buffer : idle.buffers) idleBytes += buffer.size();
    if (idle.buffers.size() < kMaxIdleBuffers && idleBytes <= kMaxIdleBytes)
        idle.buffers.push_back(std::move(bytes));
    else
        surplus = std::move(bytes);
}

} // namespace

void ForgetIdleBuffersInChild() {
    // Another thread of the parent may have held the lock when it forked.
    g_idle = new IdleBuffers;
}

HostBuffer::HostBuffer(std::size_t size) {
    {
        IdleBuffers& idle = *g_idle;
        const std::lock_guard<std::mutex> lock(idle.mutex);
        for (auto it = idle.buffers.begin(); it != idle.buffers.end(); ++it)
            if (it->size() == size) {
                m_bytes = std::move(*it);
                idle.buffers.erase(it);
                return;
            }
    }
    m_bytes.resize(size);
}

py::array HostBuffer::ToArray(const py::dtype& dtype, const std::vector<py::ssize_t>& shape) {
    py::ssize_t count = 1;
    for (py::ssize_t side : shape) count *= side;
    if (static_cast<size_t>(count * dtype.itemsize()) != m_bytes.size())
        throw std::logic_error("an array's shape does not cover its buffer");
    auto owned = std::make_unique<std::vector<uint8_t>>(std::move(m_bytes));
    const py::capsule owner(owned.get(), [](void* p) {
        std::unique_ptr<std::vector<uint8_t>> bytes(static_cast<std::vector<uint8_t>*>(p));
        Recycle(std::move(*bytes));
    });
    uint8_t* data = owned.release()->data(); // the capsule's now
    return py::array(dtype, shape, data, owner);
}

} // namespace tsr::python
