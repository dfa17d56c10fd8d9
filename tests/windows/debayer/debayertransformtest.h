// Fixture for tests of the debayer transform: the transform made through TsrRawDebayer.dll's class
// factory, media types and samples as a host builds them, Bayer frames made by the encoder and
// decoded by the frame decoder, and the engine run directly on the same frames for reference.
#pragma once

#include "comsession.h"
#include "hostqueue.h"
#include "serverlibrary.h"
#include "windows/common/tesselrawguids.h"
#include "windows/trans_debayer/debayerattributes.h"

#include <tsr/framerecords.h>

#include <mfapi.h>
#include <mferror.h>
#include <mftransform.h>

#include <cstdint>
#include <vector>

using Microsoft::WRL::ComPtr;
using Bytes = std::vector<uint8_t>;

// A decoded Bayer frame: the 116-byte record and the picture at the decoder's row pitch.
struct BayerFrame {
    Bytes record;
    Bytes picture;
    UINT32 width = 0;
    UINT32 height = 0;
};

// The scene encoded at `width` x `height` (a compressed frame), and decoded at the scale index.
Bytes MakeEncodedFrame(UINT32 width, UINT32 height);
BayerFrame MakeDecodedFrame(UINT32 width, UINT32 height, UINT32 scale);

ComPtr<IMFMediaType> VideoType(const GUID& subtype);
ComPtr<IMFMediaType> VideoType(const GUID& subtype, UINT32 width, UINT32 height);
ComPtr<IMFMediaBuffer> MemoryBuffer(const Bytes& bytes, DWORD maxLength);
// Record and picture in one buffer, or in two.
ComPtr<IMFSample> OneBufferSample(const BayerFrame& frame);
ComPtr<IMFSample> TwoBufferSample(const BayerFrame& frame);
// The bytes of buffer 0 of a sample, up to its current length.
Bytes BufferBytes(IMFSample* sample);
// Bytes per output pixel of an output subtype.
UINT32 OutputPixelBytes(const GUID& subtype);

class DebayerTransformTest : public MediaFoundationTest {
protected:
    void SetUp() override;
    // Every test ends with the transform's last reference and nothing left alive in the library.
    void TearDown() override;

    // Input and output types for a frame; the output type may carry extra attributes.
    void Negotiate(const BayerFrame& frame, const GUID& outputSubtype, IMFMediaType* outputType = nullptr);
    // Installs the host queue in the transform's attributes.
    void UseHostQueue();
    // Queues the sample, runs one ProcessOutput with a sample the transform provides.
    HRESULT Process(IMFSample* input, ComPtr<IMFSample>& output);

    // What the engine itself makes of the frame on the host queue.
    Bytes EngineOutput(const BayerFrame& frame, const GUID& outputSubtype, const float* matrix,
                       unsigned curve);

    ServerLibrary m_library{L"TsrRawDebayer.dll"};
    ComPtr<IMFTransform> m_transform;
    HostQueue m_host;
};

// The decoder transform in front of the debayer, both created from their DLLs and both required
// to be gone, with nothing left alive in either library, at the end of every test.
class DecoderAndDebayerTest : public DebayerTransformTest {
protected:
    void SetUp() override {
        DebayerTransformTest::SetUp();
        ASSERT_TRUE(m_decoderLibrary.Loaded());
        ASSERT_EQ(m_decoderLibrary.CreateInstance(CLSID_TesselRAWDecoder, m_decoder), S_OK);
        UseHostQueue();
    }
    void TearDown() override {
        if (m_decoder) {
            EXPECT_EQ(m_decoder.Detach()->Release(), 0u);
        }
        EXPECT_EQ(m_decoderLibrary.CanUnloadNow(), S_OK);
        DebayerTransformTest::TearDown();
    }

    ServerLibrary m_decoderLibrary{L"TsrRawDecoder.dll"};
    ComPtr<IMFTransform> m_decoder;
};
