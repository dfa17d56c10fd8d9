// SingleStreamTransform: what the transforms with one input and one output stream (id 0) share:
// IUnknown, the stream count, limits and ids, the attribute store, the current types, the output
// status of the pending-input queue, the optional methods they leave unimplemented, and the checks
// that open a type change, an input call and an output call.
//
// Every method that reads or changes the transform's state holds m_mutex, a recursive mutex the
// derived transform holds around its own methods too. GetStreamLimits, GetAttributes and the
// unimplemented methods take no lock.
#pragma once

#include "classfactory.h"

#include <mfapi.h>
#include <mferror.h>
#include <mftransform.h>
#include <wrl/client.h>

#include <deque>
#include <mutex>

namespace tsr::com {

class SingleStreamTransform : private BaseObject, private RefCountedObject, public IMFTransform {
public:
    // IUnknown: IMFTransform only.
    STDMETHODIMP QueryInterface(REFIID iid, void** result) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IMFTransform: one stream each way.
    STDMETHODIMP GetStreamLimits(DWORD* inputMinimum, DWORD* inputMaximum, DWORD* outputMinimum,
                                 DWORD* outputMaximum) override;
    STDMETHODIMP GetStreamCount(DWORD* inputStreams, DWORD* outputStreams) override;
    STDMETHODIMP GetStreamIDs(DWORD inputIdCount, DWORD* inputIds, DWORD outputIdCount,
                              DWORD* outputIds) override;
    STDMETHODIMP GetAttributes(IMFAttributes** attributes) override;
    STDMETHODIMP GetInputCurrentType(DWORD stream, IMFMediaType** type) override;
    STDMETHODIMP GetOutputCurrentType(DWORD stream, IMFMediaType** type) override;
    STDMETHODIMP GetOutputStatus(DWORD* flags) override;

    // IMFTransform: not implemented (E_NOTIMPL).
    STDMETHODIMP GetInputStreamAttributes(DWORD stream, IMFAttributes** attributes) override;
    STDMETHODIMP GetOutputStreamAttributes(DWORD stream, IMFAttributes** attributes) override;
    STDMETHODIMP DeleteInputStream(DWORD stream) override;
    STDMETHODIMP AddInputStreams(DWORD count, DWORD* ids) override;
    STDMETHODIMP SetOutputBounds(LONGLONG lowerBound, LONGLONG upperBound) override;
    STDMETHODIMP ProcessEvent(DWORD stream, IMFMediaEvent* event) override;

protected:
    SingleStreamTransform() = default;
    // Releases the pending samples, then the attributes, the output type and the input type.
    ~SingleStreamTransform() override;

    // Output stream flags of both transforms: whole samples of a fixed size, one per buffer, and
    // samples of their own when the caller brings none.
    static constexpr DWORD kOutputStreamFlags =
        MFT_OUTPUT_STREAM_WHOLE_SAMPLES | MFT_OUTPUT_STREAM_SINGLE_SAMPLE_PER_BUFFER |
        MFT_OUTPUT_STREAM_FIXED_SAMPLE_SIZE | MFT_OUTPUT_STREAM_CAN_PROVIDE_SAMPLES;

    // Whether SetInputType or SetOutputType may go on, in this order: E_POINTER without a type,
    // E_INVALIDARG for unknown flags, MF_E_TRANSFORM_CANNOT_CHANGE_MEDIATYPE_WHILE_PROCESSING while
    // samples are pending, else S_OK. A test-only call ends with this result.
    HRESULT CheckTypeChange(IMFMediaType* type, DWORD flags) const;
    // Whether ProcessInput may queue: E_INVALIDARG for any flag, MF_E_NOTACCEPTING before both
    // types are set, E_POINTER without a sample, else S_OK.
    HRESULT CheckInputCall(IMFSample* sample, DWORD flags) const;
    // Whether ProcessOutput may produce: MF_E_TRANSFORM_NEED_MORE_INPUT with nothing pending,
    // E_INVALIDARG for any flag or a buffer count other than 1, E_POINTER without buffers, else S_OK.
    HRESULT CheckOutputCall(DWORD flags, DWORD bufferCount, const MFT_OUTPUT_DATA_BUFFER* buffers) const;

    std::recursive_mutex m_mutex;
    Microsoft::WRL::ComPtr<IMFMediaType> m_inputType;
    Microsoft::WRL::ComPtr<IMFMediaType> m_outputType;
    // Created by the derived transform's constructor.
    Microsoft::WRL::ComPtr<IMFAttributes> m_attributes;
    // Input samples in arrival order, each waiting for its ProcessOutput.
    std::deque<Microsoft::WRL::ComPtr<IMFSample>> m_pending;

private:
    static constexpr DWORD kStreamId = 0;
};

} // namespace tsr::com
