// Numpy arrays over memory the module filled: the array owns its buffer through a capsule, so it
// stays valid after the clip or frame it came from is closed or collected. Buffers of arrays
// that are gone are kept for the next picture of the same size (a few of them), which saves the
// page faults of fresh memory on every frame of a clip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

namespace tsr::python {

class HostBuffer {
public:
    HostBuffer() = default;
    // `size` bytes, recycled (with stale contents) or new (zero); filled without the GIL.
    explicit HostBuffer(std::size_t size);
    std::vector<uint8_t>& Bytes() { return m_bytes; }
    uint8_t* Data() { return m_bytes.data(); }

    // A C-contiguous array of `dtype` and `shape` over the buffer, which the array takes over
    // (this buffer is empty afterwards). Needs the GIL; the shape must cover the buffer exactly.
    pybind11::array ToArray(const pybind11::dtype& dtype, const std::vector<pybind11::ssize_t>& shape);

private:
    std::vector<uint8_t> m_bytes;
};

// In a child just forked from this process: the idle buffers and their lock start anew.
void ForgetIdleBuffersInChild();

} // namespace tsr::python
