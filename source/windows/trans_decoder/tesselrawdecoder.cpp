// TesselRAWDecoder: creation, destruction and stream negotiation.
#include "tesselrawdecoder.h"

#include "windows/common/comerror.h"
#include "windows/common/tesselrawguids.h"
#include "windows/common/videomediatypes.h"

#include <climits>

namespace tsr {

using com::ThrowIfFailed;
using Microsoft::WRL::ComPtr;

namespace {

// Input subtypes in the order of their type indices.
const GUID* const kInputSubtypes[] = {&MFVideoFormat_tsrh_BE, &MFVideoFormat_tsrn_BE, &MFVideoFormat_tsrh,
                                      &MFVideoFormat_tsrn};
// Output subtypes: full-size mosaic, then quads for the reduced sizes.
const GUID* const kOutputSubtypes[] = {&MFVideoFormat_bp16, &MFVideoFormat_bp64};

constexpr DWORD kInputTypeCount = 4;
constexpr DWORD kOutputTypeCount = 2;
constexpr UINT32 kScaleIndexCount = 4;

// Checks the major type and the subtype of a proposed output type.
HRESULT CheckOutputSubtype(IMFMediaType* type) {
    GUID subtype = GUID_NULL;
    const HRESULT hr = com::GetVideoSubtype(type, &subtype);
    if (FAILED(hr)) return hr;
    for (const GUID* accepted : kOutputSubtypes)
        if (IsEqualGUID(subtype, *accepted)) return S_OK;
    return MF_E_INVALIDMEDIATYPE;
}

// True when a picture of this size decodes into a sample whose byte counts the frame decoder's
// int arguments can carry. Computed in 64 bits: a frame size is any pair of UINT32.
bool DecodableSize(UINT32 inputWidth, UINT32 outputHeight, UINT32 scaleIndex) {
    if (inputWidth == 0 || outputHeight == 0 || (inputWidth >> scaleIndex) == 0) return false;
    const std::uint64_t alignedWidth = (std::uint64_t{inputWidth} + 15) / 16 * 16;
    const std::uint64_t bytesPerPixel = scaleIndex == 0 ? 2 : 8;
    const std::uint64_t rowPitch = (bytesPerPixel * (alignedWidth >> scaleIndex) + 15) / 16 * 16;
    return rowPitch * outputHeight + TSR_FRAME_INFO_RECORD_SIZE <= INT_MAX;
}

} // namespace

HRESULT TesselRAWDecoder::Create(IUnknown* outer, REFIID iid, void** result) {
    return com::CreateObject<TesselRAWDecoder>(outer, iid, result);
}

TesselRAWDecoder::TesselRAWDecoder(HRESULT* hr)
    : SingleStreamTransform(kInputSubtypes, kInputTypeCount, kOutputTypeCount,
                            MFT_INPUT_STREAM_WHOLE_SAMPLES | MFT_INPUT_STREAM_SINGLE_SAMPLE_PER_BUFFER) {
    *hr = S_OK;
    m_frameDecoder = frameDecoderCreate(0);
    if (!m_frameDecoder) {
        *hr = E_OUTOFMEMORY;
        return;
    }
    *hr = MFCreateAttributes(&m_attributes, 1);
    if (SUCCEEDED(*hr)) *hr = m_attributes->SetUINT32(MF_RAW_FRAME_INFO_SIZE, TSR_FRAME_INFO_RECORD_SIZE);
}

TesselRAWDecoder::~TesselRAWDecoder() {
    frameDecoderDestroy(m_frameDecoder);
    m_sizeTable.clear();
    // The base class then releases the pending samples, the attributes and the types.
}

HRESULT TesselRAWDecoder::OutputSampleSize(DWORD* size) const {
    const std::uint64_t bytes = OutputSampleBytes();
    *size = bytes > UINT32_MAX ? UINT32_MAX : static_cast<DWORD>(bytes);
    return S_OK;
}

ComPtr<IMFMediaType> TesselRAWDecoder::OfferedOutputType(DWORD index) const {
    return com::CreateFrameType(*kOutputSubtypes[index], m_outputWidth, m_outputHeight, m_frameRateNumerator,
                                m_frameRateDenominator);
}

void TesselRAWDecoder::ApplyInputType(IMFMediaType* type) {
    UINT32 width = 0;
    UINT32 height = 0;
    if (FAILED(MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &width, &height))) ThrowIfFailed(E_INVALIDARG);
    // An empty picture, or one too large for the decoder's byte counts, cannot be decoded.
    if (!DecodableSize(width, height, 0)) ThrowIfFailed(E_INVALIDARG);
    m_inputWidth = m_outputWidth = width;
    m_inputHeight = m_outputHeight = height;

    // Later entries win where small sizes collide.
    m_sizeTable.clear();
    for (UINT32 scale = 0; scale < kScaleIndexCount; ++scale)
        m_sizeTable[FrameSize(width >> scale, height >> scale)] = scale;

    com::ReadFrameRate(type, m_frameRateNumerator, m_frameRateDenominator);
    UINT64 duration = 0;
    if (SUCCEEDED(MFFrameRateToAverageTimePerFrame(m_frameRateNumerator, m_frameRateDenominator, &duration)))
        m_averageFrameDuration = static_cast<LONGLONG>(duration);

    m_inputType = type;
}

void TesselRAWDecoder::ApplyOutputType(IMFMediaType* type) {
    ThrowIfFailed(CheckOutputSubtype(type));
    // Output sizes derive from the input size.
    if (!m_inputType) ThrowIfFailed(MF_E_TRANSFORM_TYPE_NOT_SET);
    GUID subtype = GUID_NULL;
    ThrowIfFailed(type->GetGUID(MF_MT_SUBTYPE, &subtype));
    UINT32 width = 0;
    UINT32 height = 0;
    const bool hasSize = SUCCEEDED(MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &width, &height));

    UINT32 scale = 0;
    if (IsEqualGUID(subtype, MFVideoFormat_bp16) || !hasSize) {
        // The full-size mosaic, whatever size the type carries.
        width = m_inputWidth;
        height = m_inputHeight;
    } else {
        const auto entry = m_sizeTable.find(FrameSize(width, height));
        if (entry == m_sizeTable.end()) ThrowIfFailed(E_INVALIDARG);
        scale = entry->second;
    }
    if (!DecodableSize(m_inputWidth, height, scale)) ThrowIfFailed(E_INVALIDARG);

    m_outputWidth = width;
    m_outputHeight = height;
    m_scaleIndex = scale;
    m_rowPitch =
        static_cast<UINT32>(frameDecoderMinRowPitch(static_cast<int>(m_inputWidth), static_cast<int>(scale)));
    m_outputType = type;
}

} // namespace tsr
