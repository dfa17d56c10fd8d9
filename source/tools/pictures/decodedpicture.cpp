#include "pictures/decodedpicture.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "support/toolerror.h"

namespace tsr::tools {

DecodedPicture::DecodedPicture(DecodedPicture&& other) noexcept {
    *this = std::move(other);
}

DecodedPicture& DecodedPicture::operator=(DecodedPicture&& other) noexcept {
    if (this != &other) {
        std::free(m_bytes);
        m_bytes = std::exchange(other.m_bytes, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_scaleIndex = other.m_scaleIndex;
        m_outputWidth = other.m_outputWidth;
        m_outputHeight = other.m_outputHeight;
        m_rowPitch = other.m_rowPitch;
    }
    return *this;
}

DecodedPicture::~DecodedPicture() {
    std::free(m_bytes);
}

void DecodedPicture::Allocate(size_t size) {
    if (size > m_capacity) {
        // calloc: large pictures get fresh zero pages that cost nothing until written.
        void* bytes = std::calloc(size, 1);
        if (!bytes)
            throw ToolError("not enough memory for a decoded picture of " + std::to_string(size) + " bytes");
        std::free(m_bytes);
        m_bytes = static_cast<uint8_t*>(bytes);
        m_capacity = size;
    } else {
        std::memset(m_bytes, 0, size);
    }
    m_size = size;
}

void DecodedPicture::Resize(int width, int height, int scaleIndex) {
    m_scaleIndex = scaleIndex;
    m_outputWidth = width >> scaleIndex;
    m_outputHeight = height >> scaleIndex;
    m_rowPitch = frameDecoderMinRowPitch(width, scaleIndex);
    const size_t picture = static_cast<size_t>(m_rowPitch) * static_cast<size_t>(m_outputHeight);
    if (picture > static_cast<size_t>(INT_MAX))
        throw ToolError("a " + std::to_string(width) + "x" + std::to_string(height) +
                        " frame is too large for the decoder's output");
    Allocate(TSR_FRAME_INFO_RECORD_SIZE + picture);
}

int DecodedPicture::Decode(FrameDecoderHandle decoder, const std::vector<uint8_t>& frame) {
    std::memset(m_bytes, 0, m_size);
    const int length = frame.size() > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(frame.size());
    return frameDecoderDecode(decoder, frame.data(), length, Picture(), static_cast<int>(PictureSize()),
                              m_rowPitch, m_bytes, TSR_FRAME_INFO_RECORD_SIZE, m_scaleIndex);
}

void DecodedPicture::Adopt(const uint8_t* bytes, size_t length, const char* name) {
    TsrFrameInfoRecord record;
    if (length < sizeof record) throw ToolError(std::string(name) + " is too short for a frame info record");
    std::memcpy(&record, bytes, sizeof record);
    const bool mosaic = record.layoutCode == TSR_LAYOUT_BP16;
    if (!mosaic && record.layoutCode != TSR_LAYOUT_BP64)
        throw ToolError(std::string(name) + " does not start with a frame info record (unknown layout code)");
    const long long rowBytes = static_cast<long long>(record.width) * (mosaic ? 2 : 8);
    const long long picture = static_cast<long long>(record.rowPitch) * record.height;
    if (record.width <= 0 || record.height <= 0 || record.rowPitch < rowBytes || picture > INT_MAX)
        throw ToolError(std::string(name) + ": the frame info record has an impossible size or row pitch");
    if (static_cast<unsigned long long>(picture) > length - sizeof record)
        throw ToolError(std::string(name) + " is truncated (the picture needs " + std::to_string(picture) +
                        " bytes after the record, " + std::to_string(length - sizeof record) + " present)");
    m_scaleIndex = mosaic ? 0 : 1; // four-sample layouts all read alike
    m_outputWidth = record.width;
    m_outputHeight = record.height;
    m_rowPitch = record.rowPitch;
    Allocate(sizeof record + static_cast<size_t>(picture));
    std::memcpy(m_bytes, bytes, m_size);
}

} // namespace tsr::tools
