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
    STDMETHODIMP GetInputStreamInfo(DWORD stream, MFT_INPUT_STREAM_INFO* info) override;
    STDMETHODIMP GetOutputStreamInfo(DWORD stream, MFT_OUTPUT_STREAM_INFO* info) override;

    // IMFTransform: negotiation. The checks every transform makes (index, pointers, an input type
    // before the output types, the type-change rules, test-only calls, the input subtype) are made
    // here; what the transform offers and accepts beyond them comes from the hooks below.
    STDMETHODIMP GetInputAvailableType(DWORD stream, DWORD index, IMFMediaType** type) override;
    STDMETHODIMP GetOutputAvailableType(DWORD stream, DWORD index, IMFMediaType** type) override;
    STDMETHODIMP SetInputType(DWORD stream, IMFMediaType* type, DWORD flags) override;
    STDMETHODIMP SetOutputType(DWORD stream, IMFMediaType* type, DWORD flags) override;
    STDMETHODIMP GetInputStatus(DWORD stream, DWORD* flags) override;

    // IMFTransform: not implemented (E_NOTIMPL).
    STDMETHODIMP GetInputStreamAttributes(DWORD stream, IMFAttributes** attributes) override;
    STDMETHODIMP GetOutputStreamAttributes(DWORD stream, IMFAttributes** attributes) override;
    STDMETHODIMP DeleteInputStream(DWORD stream) override;
    STDMETHODIMP AddInputStreams(DWORD count, DWORD* ids) override;
    STDMETHODIMP SetOutputBounds(LONGLONG lowerBound, LONGLONG upperBound) override;
    STDMETHODIMP ProcessEvent(DWORD stream, IMFMediaEvent* event) override;

protected:
    // The input subtypes in the order of their type indices, how many output types there are, and
    // the flags of the input stream.
    SingleStreamTransform(const GUID* const* inputSubtypes, DWORD inputTypeCount, DWORD outputTypeCount,
                          DWORD inputStreamFlags)
        : m_inputSubtypes(inputSubtypes), m_inputTypeCount(inputTypeCount),
          m_outputTypeCount(outputTypeCount), m_inputStreamFlags(inputStreamFlags) {}
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

    // Negotiation hooks, called under m_mutex; they may throw a _com_error to refuse.
    // The output type offered at `index` (below the output type count) once the input type is set.
    virtual Microsoft::WRL::ComPtr<IMFMediaType> OfferedOutputType(DWORD index) const = 0;
    // Take a proposed type that passed checkTypeChange (and, for the input, whose subtype is one
    // of the input subtypes): check the rest and set m_inputType or m_outputType.
    virtual void ApplyInputType(IMFMediaType* type) = 0;
    virtual void ApplyOutputType(IMFMediaType* type) = 0;
    // The size of an output sample for GetOutputStreamInfo, or the failure to report.
    virtual HRESULT OutputSampleSize(DWORD* size) const = 0;
    // Whether GetInputStatus reports that the transform takes data now.
    virtual bool AcceptsInput() const { return true; }

    std::recursive_mutex m_mutex;
    Microsoft::WRL::ComPtr<IMFMediaType> m_inputType;
    Microsoft::WRL::ComPtr<IMFMediaType> m_outputType;
    // Created by the derived transform's constructor.
    Microsoft::WRL::ComPtr<IMFAttributes> m_attributes;
    // Input samples in arrival order, each waiting for its ProcessOutput.
    std::deque<Microsoft::WRL::ComPtr<IMFSample>> m_pending;

private:
    static constexpr DWORD kStreamId = 0;

    HRESULT AvailableType(DWORD index, IMFMediaType** type, bool input);
    HRESULT SetType(IMFMediaType* type, DWORD flags, bool input);

    const GUID* const* m_inputSubtypes;
    DWORD m_inputTypeCount;
    DWORD m_outputTypeCount;
    DWORD m_inputStreamFlags;
};

} // namespace tsr::com
