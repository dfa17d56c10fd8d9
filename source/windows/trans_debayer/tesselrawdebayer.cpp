// TesselRAWDebayer: creation, destruction and stream negotiation.
#include "tesselrawdebayer.h"

#include "common/trace.h"
#include "debayerattributes.h"
#include "outputformats.h"
#include "windows/common/comerror.h"
#include "windows/common/tesselrawguids.h"
#include "windows/common/videomediatypes.h"

namespace tsr {

using com::ThrowIfFailed;
using Microsoft::WRL::ComPtr;

namespace {

const GUID* const kInputSubtypes[] = {&MFVideoFormat_bp16, &MFVideoFormat_bp64};
constexpr DWORD kTypeCount = 2;

// Checks the major type and the subtype of a proposed output type.
HRESULT CheckOutputSubtype(IMFMediaType* type) {
    GUID subtype = GUID_NULL;
    const HRESULT hr = com::GetVideoSubtype(type, &subtype);
    if (FAILED(hr)) return hr;
    return FindOutputFormat(subtype) ? S_OK : MF_E_INVALIDMEDIATYPE;
}

} // namespace

HRESULT TesselRAWDebayer::Create(IUnknown* outer, REFIID iid, void** result) {
    return com::CreateObject<TesselRAWDebayer>(outer, iid, result);
}

TesselRAWDebayer::TesselRAWDebayer(HRESULT* hr)
    : SingleStreamTransform(kInputSubtypes, kTypeCount, kTypeCount,
                            MFT_INPUT_STREAM_WHOLE_SAMPLES | MFT_INPUT_STREAM_SINGLE_SAMPLE_PER_BUFFER |
                                MFT_INPUT_STREAM_FIXED_SAMPLE_SIZE) {
    *hr = MFCreateAttributes(&m_attributes, 2);
    if (SUCCEEDED(*hr)) *hr = m_attributes->SetUINT32(MF_SA_D3D11_AWARE, TRUE);
    if (SUCCEEDED(*hr)) *hr = m_attributes->SetUINT32(MF_DEBAYER_OUTPUT_CURVE, m_curveIndex);
}

TesselRAWDebayer::~TesselRAWDebayer() {
    // The base class then releases the attributes and the types.
    m_pending.clear();
    m_engine.reset();
    m_deviceManager.Reset();
}

ComPtr<IMFMediaType> TesselRAWDebayer::OfferedOutputType(DWORD index) const {
    return com::CreateFrameType(*kOutputFormats[index].subtype, m_width, m_height, m_frameRateNumerator,
                                m_frameRateDenominator);
}

void TesselRAWDebayer::ApplyInputType(IMFMediaType* type) {
    com::ReadFrameRate(type, m_frameRateNumerator, m_frameRateDenominator);
    UINT32 width = 0;
    UINT32 height = 0;
    ThrowIfFailed(MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &width, &height));
    m_width = width;
    m_height = height;
    m_inputType = type;
}

void TesselRAWDebayer::ApplyOutputType(IMFMediaType* type) {
    ThrowIfFailed(CheckOutputSubtype(type));
    m_outputType = type;
    UINT32 curve = 0;
    if (SUCCEEDED(type->GetUINT32(MF_DEBAYER_OUTPUT_CURVE, &curve))) {
        m_curveIndex = curve;
    } else if (SUCCEEDED(type->GetUINT32(MF_MT_VIDEO_PRIMARIES, &curve))) {
        if (curve == MFVideoPrimaries_BT709) m_curveIndex = 0;
        if (curve == MFVideoPrimaries_BT2020) m_curveIndex = 1;
    }
}

HRESULT TesselRAWDebayer::OutputSampleSize(DWORD* size) const {
    const std::uint64_t bytes = OutputImageSize();
    if (bytes > UINT32_MAX) {
        Trace(L"Output image size exceeds DWORD maximum\n");
        return E_BOUNDS;
    }
    *size = static_cast<DWORD>(bytes);
    return S_OK;
}

bool TesselRAWDebayer::AcceptsInput() const {
    return m_pending.empty();
}

GUID TesselRAWDebayer::OutputSubtype() const {
    GUID subtype = GUID_NULL;
    if (m_outputType) m_outputType->GetGUID(MF_MT_SUBTYPE, &subtype);
    return subtype;
}

std::uint64_t TesselRAWDebayer::OutputImageSize() const {
    if (!m_outputType) return 0;
    return std::uint64_t{m_width} * m_height * OutputBytesPerPixel(OutputSubtype());
}

} // namespace tsr
