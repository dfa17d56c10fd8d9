#include "openimageio/tesselrawinput.h"

#include <cstring>
#include <exception>

#include "openimageio/filesniffer.h"
#include "openimageio/frameattributes.h"

namespace tsr::oiio {

bool TesselRawInput::valid_file(const std::string& filename) const {
    return SniffFile(filename) != SniffResult::NotOurs;
}

bool TesselRawInput::open(const std::string& name, OIIO::ImageSpec& newspec) {
    return open(name, newspec, OIIO::ImageSpec());
}

bool TesselRawInput::open(const std::string& name, OIIO::ImageSpec& newspec, const OIIO::ImageSpec& config) {
    close();
    ReaderSettings settings;
    std::string error;
    if (!ReadSettings(config, settings, error)) {
        errorfmt("{}", error);
        return false;
    }
    if (settings.threads == 0) settings.threads = threads(); // 0 still: one per processor
    try {
        m_clip = std::make_unique<ClipFrames>(name, settings);
    } catch (const std::exception& e) {
        errorfmt("{}", e.what());
        return false;
    }
    m_name = name;
    if (m_clip->FrameCount() <= 0) {
        errorfmt("{} holds no frames", name);
        close();
        return false;
    }
    if (!seek_subimage(0, 0)) {
        close();
        return false;
    }
    newspec = m_spec;
    return true;
}

bool TesselRawInput::close() {
    m_clip.reset();
    m_subimage = -1;
    m_name.clear();
    return true;
}

int TesselRawInput::current_subimage() const {
    lock_guard lock(*this);
    return m_subimage;
}

bool TesselRawInput::seek_subimage(int subimage, int miplevel) {
    lock_guard lock(*this);
    if (!m_clip || miplevel != 0 || subimage < 0 || subimage >= m_clip->FrameCount()) return false;
    if (subimage == m_subimage) return true;
    try {
        const FrameProbe& probe = m_clip->Probe(subimage);
        m_spec = FrameSpec(*m_clip, subimage, probe);
    } catch (const std::exception& e) {
        errorfmt("{}: {}", m_name, e.what());
        m_subimage = -1;
        return false;
    }
    m_subimage = subimage;
    return true;
}

const FramePixels* TesselRawInput::Pixels(int subimage) {
    if (!seek_subimage(subimage, 0)) {
        if (!has_error()) errorfmt("{} has no subimage {}", m_name, subimage);
        return nullptr;
    }
    try {
        return &m_clip->Pixels(subimage);
    } catch (const std::exception& e) {
        errorfmt("{}: {}", m_name, e.what());
        return nullptr;
    }
}

bool TesselRawInput::read_native_scanline(int subimage, int miplevel, int y, int z, void* data) {
    return read_native_scanlines(subimage, miplevel, y, y + 1, z, data);
}

bool TesselRawInput::read_native_scanlines(int subimage, int miplevel, int ybegin, int yend, int z,
                                           void* data) {
    lock_guard lock(*this);
    if (miplevel != 0 || z != 0) return false;
    const FramePixels* pixels = Pixels(subimage);
    if (!pixels) return false;
    if (ybegin < 0 || yend > pixels->height || ybegin > yend) {
        errorfmt("{}: rows {}..{} are outside the picture's {} rows", m_name, ybegin, yend, pixels->height);
        return false;
    }
    const size_t rowBytes = static_cast<size_t>(pixels->width) * (pixels->isFloat ? 16 : 8);
    std::memcpy(data, pixels->bytes.data() + static_cast<size_t>(ybegin) * rowBytes,
                static_cast<size_t>(yend - ybegin) * rowBytes);
    return true;
}

} // namespace tsr::oiio
