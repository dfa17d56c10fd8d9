#include "python/ownedarray.h"

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

std::mutex g_mutex;
std::vector<std::vector<uint8_t>>& Idle() {
    // Never destroyed: arrays may outlive the module's statics at interpreter exit.
    static auto* idle = new std::vector<std::vector<uint8_t>>();
    return *idle;
}

void Recycle(std::vector<uint8_t>&& bytes) {
    std::vector<uint8_t> surplus; // freed outside the lock
    const std::lock_guard<std::mutex> lock(g_mutex);
    size_t idleBytes = bytes.size();
    for (const std::vector<uint8_t>& idle : Idle()) idleBytes += idle.size();
    if (Idle().size() < kMaxIdleBuffers && idleBytes <= kMaxIdleBytes)
        Idle().push_back(std::move(bytes));
    else
        surplus = std::move(bytes);
}

} // namespace

HostBuffer::HostBuffer(std::size_t size) {
    {
        const std::lock_guard<std::mutex> lock(g_mutex);
        for (auto it = Idle().begin(); it != Idle().end(); ++it)
            if (it->size() == size) {
                m_bytes = std::move(*it);
                Idle().erase(it);
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
