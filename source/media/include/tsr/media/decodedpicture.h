// One decoded frame as the decoder writes it and as `decode` stores it: the 116-byte frame info
// record, then the picture at the minimum row pitch. The bytes are zero before decoding (fresh
// pages, or cleared once after a decode wrote them), so row padding and areas of skipped slices
// are deterministic.
//
// A frame's header alone never decides how much memory is taken: DecodeFrame first checks that
// the frame's bytes hold its slice size table and slices, and refuses pictures above a cap.
//
//   tsr::media::DecodedPicture picture;
//   decoder.Decode(bytes, index, scaleIndex, picture);   // FrameDecoder, tsr/media/frames.h
//   for (int y = 0; y < picture.OutputHeight(); ++y) use(picture.Row(y), picture.Mosaic());
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tsr/framedecoder.h"
#include "tsr/media/mediaerror.h"

namespace tsr::media {

// Default cap on the photosites of one frame: 16384 x 16384 (512 MB at full size).
constexpr unsigned long long kDefaultMaxPixels = 16384ull * 16384ull;

class DecodedPicture {
public:
    // The cap on photosites per frame for every picture of this process (--max-pixels).
    static void SetMaxPixels(unsigned long long pixels);
    static unsigned long long MaxPixels();
    // Throws MediaError, "<what>a WxH picture has more than N pixels" (Remedy::MaxPixels), above
    // MaxPixels().
    static void CheckPixelCount(const std::string& what, unsigned long long width, unsigned long long height);

    DecodedPicture() = default;
    // Sized for a frame of width x height photosites decoded at `scaleIndex`.
    DecodedPicture(int width, int height, int scaleIndex) { Resize(width, height, scaleIndex); }
    DecodedPicture(const DecodedPicture&) = delete;
    DecodedPicture& operator=(const DecodedPicture&) = delete;
    DecodedPicture(DecodedPicture&& other) noexcept;
    DecodedPicture& operator=(DecodedPicture&& other) noexcept;
    ~DecodedPicture();

    // Throws MediaError when the picture cannot be held in memory.
    void Resize(int width, int height, int scaleIndex);
    // Decodes `frame` into this picture as sized by Resize; returns the decoder's result.
    int Decode(FrameDecoderHandle decoder, const std::vector<uint8_t>& frame);
    // Sizes the picture for `frame` at `scaleIndex` and decodes it; returns the decoder's result.
    // A frame whose slice table or slices run past its bytes is invalid (-2) before anything is
    // allocated; one above MaxPixels() throws MediaError.
    int DecodeFrame(FrameDecoderHandle decoder, const std::vector<uint8_t>& frame, int scaleIndex);
    // What DecodeFrame checks before it allocates: FRAME_DECODER_INVALID_FRAME for a frame without
    // a picture size, or whose slice table or slices run past its bytes, else 0; throws MediaError
    // as DecodeFrame does for a size it cannot take.
    static int CheckBeforeDecoding(const std::vector<uint8_t>& frame, int scaleIndex);
    // Takes record and picture from a buffer laid out as Bytes(): checks the record against
    // the length. Throws MediaError for a buffer that is not a decoded picture.
    void Adopt(const uint8_t* bytes, size_t length, const char* name);

    int ScaleIndex() const { return m_scaleIndex; }
    int OutputWidth() const { return m_outputWidth; }
    int OutputHeight() const { return m_outputHeight; }
    int RowPitch() const { return m_rowPitch; }
    bool Mosaic() const { return m_scaleIndex == 0; } // one u16 per photosite, else four per pixel

    // Record then picture: exactly what `decode` writes for the raw format.
    const uint8_t* Bytes() const { return m_bytes; }
    size_t Size() const { return m_size; }
    const TsrFrameInfoRecord* Record() const { return reinterpret_cast<const TsrFrameInfoRecord*>(m_bytes); }
    const uint8_t* Picture() const { return m_bytes + TSR_FRAME_INFO_RECORD_SIZE; }
    uint8_t* Picture() { return m_bytes + TSR_FRAME_INFO_RECORD_SIZE; }
    size_t PictureSize() const { return m_size - TSR_FRAME_INFO_RECORD_SIZE; }
    const uint16_t* Row(int y) const {
        return reinterpret_cast<const uint16_t*>(Picture() +
                                                 static_cast<size_t>(y) * static_cast<size_t>(m_rowPitch));
    }

private:
    void Allocate(size_t size);

    uint8_t* m_bytes = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
    size_t m_dirtyBytes = 0; // how far bytes may be nonzero (0: all zero)
    int m_scaleIndex = 0;
    int m_outputWidth = 0, m_outputHeight = 0, m_rowPitch = 0;
};

} // namespace tsr::media
