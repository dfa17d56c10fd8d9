// Fixture for tests of the decoder transform: the transform made through TsrRawDecoder.dll's
// class factory, and media types as a host builds them.
#pragma once

#include "comsession.h"
#include "serverlibrary.h"
#include "windows/common/tesselrawguids.h"

#include <mfapi.h>
#include <mferror.h>
#include <mftransform.h>

using Microsoft::WRL::ComPtr;

class DecoderTransformTest : public MediaFoundationTest {
protected:
    void SetUp() override {
        MediaFoundationTest::SetUp();
        ASSERT_TRUE(m_library.Loaded());
        ASSERT_EQ(m_library.CreateInstance(tsr::CLSID_TesselRAWDecoder, m_transform), S_OK);
    }

    // Every test ends with the transform's last reference and nothing left alive in the library.
    void TearDown() override {
        if (m_transform) {
            EXPECT_EQ(m_transform.Detach()->Release(), 0u);
        }
        EXPECT_EQ(m_library.CanUnloadNow(), S_OK);
        MediaFoundationTest::TearDown();
    }

    static ComPtr<IMFMediaType> VideoType(const GUID& subtype) {
        ComPtr<IMFMediaType> type;
        EXPECT_HRESULT_SUCCEEDED(MFCreateMediaType(&type));
        type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
        type->SetGUID(MF_MT_SUBTYPE, subtype);
        return type;
    }

    static ComPtr<IMFMediaType> VideoType(const GUID& subtype, UINT32 width, UINT32 height) {
        ComPtr<IMFMediaType> type = VideoType(subtype);
        MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, width, height);
        return type;
    }

    // Negotiates a compressed input of the size and a Bayer output of the given subtype and size.
    void Negotiate(UINT32 width, UINT32 height, const GUID& outputSubtype, UINT32 outputWidth,
                   UINT32 outputHeight) {
        ASSERT_EQ(m_transform->SetInputType(0, VideoType(tsr::MFVideoFormat_tsrn, width, height).Get(), 0),
                  S_OK);
        ASSERT_EQ(m_transform->SetOutputType(0, VideoType(outputSubtype, outputWidth, outputHeight).Get(), 0),
                  S_OK);
    }

    DWORD OutputSampleSize() {
        MFT_OUTPUT_STREAM_INFO info = {};
        EXPECT_EQ(m_transform->GetOutputStreamInfo(0, &info), S_OK);
        return info.cbSize;
    }

    ServerLibrary m_library{L"TsrRawDecoder.dll"};
    ComPtr<IMFTransform> m_transform;
};
