#include "tsr/media/decodedpicture.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "format/frameformat.h"
#include "format/slicetable.h"
#include "tsr/media/mediaerror.h"

namespace tsr::media {

namespace {

unsigned long long g_maxPixels = kDefaultMaxPixels;

uint32_t BigEndian(const std::vector<uint8_t>& bytes, size_t offset, size_t width) {
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) value = value << 8 | bytes[offset + i];
    return value;
}

// True when the frame's bytes reach past its slice size table and every slice it lists; the
// decoder would refuse the frame otherwise, so nothing needs to be allocated for it.
bool SlicesFitInFrame(const std::vector<uint8_t>& frame, int width, int height) {
    const size_t h = kFrameHeaderStart;
    if (frame.size() < h + header::kFixedSize) return false;
    const int log2SliceWidth = (BigEndian(frame, h + header::kFrameFlags, 2) & flags::kLog2SliceWidthMask) >>
                               flags::kLog2SliceWidthShift;
    if (log2SliceWidth > kMaxLog2SliceWidth) return false;
    const size_t table = h + BigEndian(frame, h + header::kHeaderSize, 2);
    return WalkSliceTable(frame.data(), frame.size(), table, MacroblocksFor(width), MacroblocksFor(height),
                          log2SliceWidth, [](const SliceSpan&) {});
}

} // namespace

void DecodedPicture::SetMaxPixels(unsigned long long pixels) {
    g_maxPixels = pixels;
}

unsigned long long DecodedPicture::MaxPixels() {
    return g_maxPixels;
}

void DecodedPicture::CheckPixelCount(const std::string& what, unsigned long long width,
                                     unsigned long long height) {
    if (width * height > g_maxPixels)
        throw MediaError(what + "a " + std::to_string(width) + "x" + std::to_string(height) +
                             " picture has more than " + std::to_string(g_maxPixels) + " pixels",
                         MediaError::Kind::Failure, 0, {}, MediaError::Remedy::MaxPixels);
}

DecodedPicture::DecodedPicture(DecodedPicture&& other) noexcept {
    *this = std::move(other);
}

DecodedPicture& DecodedPicture::operator=(DecodedPicture&& other) noexcept {
    if (this != &other) {
        std::free(m_bytes);
        m_bytes = std::exchange(other.m_bytes, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_dirtyBytes = std::exchange(other.m_dirtyBytes, 0);
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
            throw MediaError("not enough memory for a decoded picture of " + std::to_string(size) + " bytes");
        std::free(m_bytes);
        m_bytes = static_cast<uint8_t*>(bytes);
        m_capacity = size;
        m_dirtyBytes = 0;
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
        throw MediaError("a " + std::to_string(width) + "x" + std::to_string(height) +
                         " frame is too large for the decoder's output");
    Allocate(TSR_FRAME_INFO_RECORD_SIZE + picture);
}

int DecodedPicture::Decode(FrameDecoderHandle decoder, const std::vector<uint8_t>& frame) {
    // Cleared only when written since: a fresh allocation is zero pages that cost nothing until
    // the decoder writes them, and a refused frame writes nothing.
    if (m_dirtyBytes != 0) std::memset(m_bytes, 0, m_dirtyBytes);
    m_dirtyBytes = 0;
    const int length = frame.size() > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(frame.size());
    const int result =
        frameDecoderDecode(decoder, frame.data(), length, Picture(), static_cast<int>(PictureSize()),
                           m_rowPitch, m_bytes, TSR_FRAME_INFO_RECORD_SIZE, m_scaleIndex);
    if (result == FRAME_DECODER_OK) m_dirtyBytes = m_size;
    return result;
}

int DecodedPicture::CheckBeforeDecoding(const std::vector<uint8_t>& frame, int scaleIndex) {
    const size_t h = kFrameHeaderStart;
    if (frame.size() < h + header::kFixedSize || std::memcmp(frame.data() + 4, "tsrf", 4) != 0)
        return FRAME_DECODER_INVALID_FRAME;
    const int width = static_cast<int>(BigEndian(frame, h + header::kWidth, 2));
    const int height = static_cast<int>(BigEndian(frame, h + header::kHeight, 2));
    if (width == 0 || height == 0 || !SlicesFitInFrame(frame, width, height))
        return FRAME_DECODER_INVALID_FRAME;
    CheckPixelCount("", static_cast<unsigned>(width), static_cast<unsigned>(height));
    const size_t picture = static_cast<size_t>(frameDecoderMinRowPitch(width, scaleIndex)) *
                           static_cast<size_t>(height >> scaleIndex);
    if (picture > static_cast<size_t>(INT_MAX))
        throw MediaError("a " + std::to_string(width) + "x" + std::to_string(height) +
                         " frame is too large for the decoder's output");
    return FRAME_DECODER_OK;
}

int DecodedPicture::DecodeFrame(FrameDecoderHandle decoder, const std::vector<uint8_t>& frame,
                                int scaleIndex) {
    const int checked = CheckBeforeDecoding(frame, scaleIndex);
    if (checked != FRAME_DECODER_OK) return checked;
    const size_t h = kFrameHeaderStart;
    Resize(static_cast<int>(BigEndian(frame, h + header::kWidth, 2)),
           static_cast<int>(BigEndian(frame, h + header::kHeight, 2)), scaleIndex);
    return Decode(decoder, frame);
}

void DecodedPicture::Adopt(const uint8_t* bytes, size_t length, const char* name) {
    TsrFrameInfoRecord record;
    if (length < sizeof record) throw MediaError(std::string(name) + " is too short for a frame info record");
    std::memcpy(&record, bytes, sizeof record);
    const bool mosaic = record.layoutCode == TSR_LAYOUT_BP16;
    if (!mosaic && record.layoutCode != TSR_LAYOUT_BP64)
        throw MediaError(std::string(name) +
                         " does not start with a frame info record (unknown layout code)");
    const long long rowBytes = static_cast<long long>(record.width) * (mosaic ? 2 : 8);
    const long long picture = static_cast<long long>(record.rowPitch) * record.height;
    if (record.width <= 0 || record.height <= 0 || record.rowPitch < rowBytes || picture > INT_MAX)
        throw MediaError(std::string(name) + ": the frame info record has an impossible size or row pitch");
    if (static_cast<unsigned long long>(picture) > length - sizeof record)
        throw MediaError(std::string(name) + " is truncated (the picture needs " + std::to_string(picture) +
                         " bytes after the record, " + std::to_string(length - sizeof record) + " present)");
    m_scaleIndex = mosaic ? 0 : 1; // four-sample layouts all read alike
    m_outputWidth = record.width;
    m_outputHeight = record.height;
    m_rowPitch = record.rowPitch;
    Allocate(sizeof record + static_cast<size_t>(picture));
    std::memcpy(m_bytes, bytes, m_size);
    m_dirtyBytes = std::max(m_dirtyBytes, m_size);
}

} // namespace tsr::media
