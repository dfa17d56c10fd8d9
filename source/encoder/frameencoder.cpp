#include "frameencoder.h"

#include <cmath>

#include "format/bigendian.h"
#include "format/frameformat.h"
#include "format/tonecurve.h"
#include "ratecontrol.h"
#include "sliceencoder.h"

namespace tsr {
namespace {

constexpr int kMaxSliceHeaderExtension = 31 - kMinSliceHeaderSize;

int ParsedHeaderBytes(const EncoderSettings& s) {
    return header::kFixedSize + (s.hasQuantMatrix ? header::kQuantMatrixSize : 0) +
           (s.hasToneCurve ? header::kToneCurveSize : 0);
}

std::vector<uint8_t> FrameHeaderBytes(const EncoderSettings& s, int width, int height) {
    const int parsed = ParsedHeaderBytes(s);
    std::vector<uint8_t> h(static_cast<size_t>(parsed + s.extraHeaderBytes), 0);
    StoreU16Be(&h[header::kHeaderSize], static_cast<uint32_t>(h.size()));
    h[header::kVersion] = static_cast<uint8_t>(s.version);
    StoreU32Be(&h[header::kHeaderWord], s.headerWord);
    StoreU16Be(&h[header::kWidth], static_cast<uint32_t>(width));
    StoreU16Be(&h[header::kHeight], static_cast<uint32_t>(height));
    for (int i = 0; i < 4; ++i) h[header::kInfoBytes + i] = s.infoBytes[i];
    StoreU16Be(&h[header::kBayerPattern],
               (s.bayerPatternHighBits & 0xFFFCu) | static_cast<uint32_t>(s.bayerPattern));
    StoreU16Be(&h[header::kWhiteLevelCode], s.whiteLevelCode);
    StoreF32Be(&h[header::kGain0], s.gain0);
    StoreF32Be(&h[header::kGain1], s.gain1);
    for (int i = 0; i < 9; ++i) StoreF32Be(&h[header::kColorMatrix + 4 * i], s.colorMatrix[i]);
    StoreF32Be(&h[header::kAuxFloat], s.auxFloat);
    StoreU16Be(&h[header::kAuxWord], s.auxWord);
    uint32_t frameFlags = (s.extraFrameFlags & 0xFFE0u) | static_cast<uint32_t>(s.log2SliceWidth)
                                                              << flags::kLog2SliceWidthShift;
    if (s.hasQuantMatrix) frameFlags |= flags::kHasQuantMatrix;
    if (s.hasToneCurve) frameFlags |= flags::kHasToneCurve;
    StoreU16Be(&h[header::kFrameFlags], frameFlags);
    int at = header::kFixedSize;
    if (s.hasQuantMatrix) {
        for (int i = 0; i < 64; ++i) h[at + i] = s.quantMatrix[i];
        at += header::kQuantMatrixSize;
    }
    if (s.hasToneCurve)
        for (int i = 0; i < 8; ++i) StoreU16Be(&h[at + 2 * i], s.toneCurve[i]);
    return h;
}

// Encodes the slices of every `rowStep`-th macroblock row into `out` after the slice size table
// (all of them for a real frame, a sample for rate control); `qScaleOf(slice)` gives each
// slice's starting qScale. Returns false when a slice cannot be made to fit.
template <typename QScaleOf>
bool EncodeSlices(const SliceSource& source, int log2SliceWidth, int rowStep, QScaleOf qScaleOf,
                  size_t tableOffset, std::vector<uint8_t>& out, EncodeReport* report) {
    const int mbWidth = MacroblocksFor(source.width);
    const int mbHeight = MacroblocksFor(source.height);
    SliceEncoder slice;
    int index = 0;
    bool ok = true;
    for (int mbY = 0; mbY < mbHeight && ok; ++mbY) {
        if (mbY % rowStep != 0) {
            index += SlicesPerRow(mbWidth, log2SliceWidth);
            continue;
        }
        ForEachSliceInRow(mbWidth, log2SliceWidth, [&](int mbX, int log2Width) {
            if (!ok) return;
            slice.Transform(source, mbX, mbY, log2Width);
            int q = qScaleOf(index);
            size_t size = slice.Emit(source, q, out);
            // A slice must fit 65535 bytes (and each of its first three components too): coarser
            // quantisation until it does. With codewords of at most 32 bits a coefficient costs at
            // most ~97 bits (run count, zero run, level and sign), so 16 macroblocks stay below
            // 50 000 bytes and this never triggers; it guards the size fields all the same.
            while (size == 0 && q < 255) {
                q = q + (q + 3) / 4 > 255 ? 255 : q + (q + 3) / 4;
                size = slice.Emit(source, q, out);
            }
            if (size == 0) {
                ok = false;
                return;
            }
            StoreU16Be(&out[tableOffset + 2 * static_cast<size_t>(index)], static_cast<uint32_t>(size));
            if (report) {
                report->sliceQScale.push_back(static_cast<uint8_t>(q));
                if (q != qScaleOf(index)) ++report->raisedSlices;
            }
            ++index;
        });
    }
    return ok;
}

} // namespace

bool EncoderSettingsValid(const EncoderSettings& s) {
    if (s.version != 0 && s.version != 1) return false;
    if (s.version == 0 && s.hasToneCurve) return false;
    if (s.bayerPattern < 0 || s.bayerPattern > 3) return false;
    if (s.log2SliceWidth < 0 || s.log2SliceWidth > kMaxLog2SliceWidth) return false;
    if (s.qScale < 1 || s.qScale > 255) return false;
    for (uint8_t q : s.sliceQScale)
        if (q == 0) return false;
    if (!(s.targetBitsPerPhotosite >= 0) || !std::isfinite(s.targetBitsPerPhotosite)) return false;
    if (s.hasQuantMatrix)
        for (uint8_t w : s.quantMatrix)
            if (w < 1 || w > 63) return false;
    if (s.hasToneCurve)
        for (int i = 1; i < 8; ++i)
            if (s.toneCurve[i] <= s.toneCurve[i - 1]) return false;
    if (s.extraHeaderBytes < 0 || ParsedHeaderBytes(s) + s.extraHeaderBytes > 0xFFFF) return false;
    if (s.sliceHeaderExtension < 0 || s.sliceHeaderExtension > kMaxSliceHeaderExtension) return false;
    return true;
}

std::vector<uint8_t> EncodeFrame(const uint16_t* mosaic, int width, int height, ptrdiff_t rowPitchSamples,
                                 const EncoderSettings& settings) {
    return EncodeFrame(mosaic, width, height, rowPitchSamples, settings, nullptr);
}

std::vector<uint8_t> EncodeFrame(const uint16_t* mosaic, int width, int height, ptrdiff_t rowPitchSamples,
                                 const EncoderSettings& settings, EncodeReport* report) {
    if (!mosaic || width < 2 || width > 65534 || height < 2 || height > 65534 || (width & 1) ||
        (height & 1) || rowPitchSamples < width || !EncoderSettingsValid(settings))
        return {};

    ToneCurveKnots knots;
    for (int i = 0; i < 8; ++i)
        knots[i] = settings.hasToneCurve ? settings.toneCurve[i] : kDefaultToneCurve[i];
    const InverseToneCurve inverseCurve(knots);
    std::array<uint8_t, 64> weights;
    weights.fill(1);
    if (settings.hasQuantMatrix) weights = settings.quantMatrix;

    SliceSource source;
    source.mosaic = mosaic;
    source.width = width;
    source.height = height;
    source.rowPitchSamples = rowPitchSamples;
    source.bayerPattern = settings.bayerPattern;
    source.inverseCurve = &inverseCurve;
    source.quantMatrix = weights.data();
    source.headerExtension = settings.sliceHeaderExtension;

    const std::vector<uint8_t> headerBytes = FrameHeaderBytes(settings, width, height);
    const size_t sliceCount =
        static_cast<size_t>(MacroblocksFor(height)) *
        static_cast<size_t>(SlicesPerRow(MacroblocksFor(width), settings.log2SliceWidth));
    const size_t tableOffset = kFrameHeaderStart + headerBytes.size();
    const size_t slicesOffset = tableOffset + 2 * sliceCount;

    std::vector<uint8_t> frame;
    frame.reserve(slicesOffset + static_cast<size_t>(width) * static_cast<size_t>(height));
    frame.resize(slicesOffset, 0);
    for (int i = 0; i < 4; ++i) frame[4 + i] = kFrameMagic[i];
    std::copy(headerBytes.begin(), headerBytes.end(), frame.begin() + kFrameHeaderStart);

    int frameQScale = settings.qScale;
    auto sliceQScale = [&](int index) {
        if (settings.targetBitsPerPhotosite > 0) return frameQScale;
        return static_cast<size_t>(index) < settings.sliceQScale.size() ? settings.sliceQScale[index]
                                                                        : settings.qScale;
    };
    if (settings.targetBitsPerPhotosite > 0) {
        // Tall frames are measured on every rowStep-th macroblock row (at least 32 rows), scaled up.
        const int mbHeight = MacroblocksFor(height);
        const int rowStep = mbHeight >= 64 ? mbHeight / 32 : 1;
        const int sampledRows = (mbHeight + rowStep - 1) / rowStep;
        const double targetBytes =
            settings.targetBitsPerPhotosite * width * static_cast<double>(height) / 8.0;
        frameQScale = ChooseQScale(targetBytes, [&](int q) {
            frame.resize(slicesOffset);
            if (!EncodeSlices(
                    source, settings.log2SliceWidth, rowStep, [q](int) { return q; }, tableOffset, frame,
                    nullptr))
                return size_t{0xFFFFFFFFu};
            const double sliceBytes =
                static_cast<double>(frame.size() - slicesOffset) * mbHeight / sampledRows;
            return slicesOffset + static_cast<size_t>(sliceBytes);
        });
        frame.resize(slicesOffset);
    }

    if (report) *report = EncodeReport{frameQScale, {}, 0};
    if (!EncodeSlices(source, settings.log2SliceWidth, 1, sliceQScale, tableOffset, frame, report)) return {};
    if (frame.size() > 0xFFFFFFFFu) return {};
    StoreU32Be(frame.data(), static_cast<uint32_t>(frame.size()));
    return frame;
}

} // namespace tsr
