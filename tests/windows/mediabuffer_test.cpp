#include "comsession.h"
#include "d3d11device.h"
#include "windows/common/mediabuffer.h"

#include <mfapi.h>

#include <cstring>

using Microsoft::WRL::ComPtr;
using tsr::com::MediaBuffer;

class MediaBufferTest : public MediaFoundationTest {};

TEST_F(MediaBufferTest, MemoryBufferViewLocksAndWritesTheLengthBackOnRelease) {
    ComPtr<IMFMediaBuffer> buffer;
    ASSERT_HRESULT_SUCCEEDED(MFCreateMemoryBuffer(256, &buffer));
    ASSERT_HRESULT_SUCCEEDED(buffer->SetCurrentLength(10));

    std::shared_ptr<MediaBuffer> view;
    ASSERT_EQ(MediaBuffer::Create(buffer.Get(), view), S_OK);
    ASSERT_NE(view->data(), nullptr);
    EXPECT_GE(view->MaxLength(), 256u);
    EXPECT_EQ(view->CurrentLength(), 10u);
    EXPECT_EQ(view->Texture(), nullptr);
    std::memset(view->data(), 0x5A, 200);
    view->SetCurrentLength(200);

    // The length takes effect only when the view goes.
    DWORD length = 0;
    ASSERT_HRESULT_SUCCEEDED(buffer->GetCurrentLength(&length));
    EXPECT_EQ(length, 10u);
    view.reset();
    ASSERT_HRESULT_SUCCEEDED(buffer->GetCurrentLength(&length));
    EXPECT_EQ(length, 200u);

    BYTE* data = nullptr;
    ASSERT_HRESULT_SUCCEEDED(buffer->Lock(&data, nullptr, nullptr));
    EXPECT_EQ(data[199], 0x5A);
    buffer->Unlock();
}

TEST_F(MediaBufferTest, NullBufferGivesAViewWithoutData) {
    std::shared_ptr<MediaBuffer> view;
    EXPECT_EQ(MediaBuffer::Create(nullptr, view), E_POINTER);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->data(), nullptr);
    EXPECT_EQ(view->MaxLength(), 0u);
}

TEST_F(MediaBufferTest, DxgiBufferViewHoldsTheTextureAndHasNoData) {
    ComPtr<ID3D11Device> device = CreateTestDevice();
    if (!device) GTEST_SKIP() << "no Direct3D 11 device";
    ComPtr<ID3D11Texture2D> texture;
    ComPtr<IMFMediaBuffer> buffer;
    ASSERT_HRESULT_SUCCEEDED(CreateTextureBuffer(device.Get(), 64, 32, texture, buffer));

    texture->AddRef();
    const ULONG textureReferences = texture->Release();

    std::shared_ptr<MediaBuffer> view;
    ASSERT_EQ(MediaBuffer::Create(buffer.Get(), view), S_OK);
    EXPECT_EQ(view->data(), nullptr);
    EXPECT_EQ(view->MaxLength(), 0u);
    EXPECT_EQ(view->CurrentLength(), 0u);
    EXPECT_EQ(view->Texture(), texture.Get());
    view.reset();

    // The view gave back the texture reference it held.
    texture->AddRef();
    EXPECT_EQ(texture->Release(), textureReferences);
}

// The release checks stay active in optimised builds: a length beyond the buffer cannot be
// written back, and that is reported, not ignored.
TEST(MediaBufferDeathTest, ALengthBeyondTheBufferBreaksTheReleaseCheck) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_DEATH(
        {
            MFStartup(MF_VERSION, MFSTARTUP_FULL);
            ComPtr<IMFMediaBuffer> buffer;
            MFCreateMemoryBuffer(16, &buffer);
            std::shared_ptr<MediaBuffer> view;
            MediaBuffer::Create(buffer.Get(), view);
            view->SetCurrentLength(view->MaxLength() + 1);
            view.reset();
        },
        "SUCCEEDED\\(hr\\).*mediabuffer");
}
