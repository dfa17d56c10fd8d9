// The upload-image cache (on PoCL) and the least-recently-used cache of texture images.
#include <gtest/gtest.h>

#include <cstdint>

#include "engine/texturecache.h"
#include "engine/textureimagecache.h"
#include "testsupport.h"

namespace tsr::test {
namespace {

const cl_image_format kBayer = {CL_R, CL_UNSIGNED_INT16};
const cl_image_format kFourSample = {CL_RGBA, CL_UNORM_INT16};

TEST(OpenCLTextureCache, ReusesFreeMatchingImagesAndTrimsBeyondTheLimit) {
    OpenCLTextureCache cache(TestOpenCL().context, false, 1);

    // Acquire, release, acquire: the same image.
    cl_mem first = cache.AcquireImage(kBayer, 64, 32);
    ASSERT_NE(nullptr, first);
    cache.ReleaseImage(first);
    EXPECT_EQ(first, cache.AcquireImage(kBayer, 64, 32));

    // Two in use at once: a second image; once both are free, the next acquire returns the first
    // and drops the second (two entries are above the limit of one).
    cl_mem second = cache.AcquireImage(kBayer, 64, 32);
    ASSERT_NE(nullptr, second);
    EXPECT_NE(first, second);
    EXPECT_EQ(2u, cache.EntryCount());
    cache.ReleaseImage(first);
    cache.ReleaseImage(second);
    EXPECT_EQ(first, cache.AcquireImage(kBayer, 64, 32));
    EXPECT_EQ(1u, cache.EntryCount());

    // A new size while the old image is free: with one entry nothing is trimmed and a second image
    // is made; the next acquire trims the free non-matching one.
    cache.ReleaseImage(first);
    cl_mem other = cache.AcquireImage(kFourSample, 16, 16);
    ASSERT_NE(nullptr, other);
    EXPECT_EQ(2u, cache.EntryCount());
    cache.ReleaseImage(other);
    EXPECT_EQ(other, cache.AcquireImage(kFourSample, 16, 16));
    EXPECT_EQ(1u, cache.EntryCount());

    // Releasing an image the cache does not hold changes nothing.
    cl_mem stranger = MakeImage(CL_R, CL_UNSIGNED_INT16, 64, 32);
    cache.ReleaseImage(stranger);
    EXPECT_EQ(1u, cache.EntryCount());
    EXPECT_NE(other, cache.AcquireImage(kFourSample, 16, 16)); // `other` is still in use
    clReleaseMemObject(stranger);
}

TEST(OpenCLTextureCache, CreationFailureAddsNothing) {
    OpenCLTextureCache cache(TestOpenCL().context, true, 1);
    EXPECT_EQ(nullptr, cache.AcquireImage(kBayer, 0, 32));
    EXPECT_EQ(nullptr, cache.AcquireImage(kBayer, 1u << 30, 1));
    EXPECT_EQ(0u, cache.EntryCount());
    OpenCLTextureCache noContext(nullptr, false, 1);
    EXPECT_EQ(nullptr, noContext.AcquireImage(kBayer, 8, 8));
}

ID3D11Texture2D* Texture(std::uintptr_t n) {
    return reinterpret_cast<ID3D11Texture2D*>(n * 16);
}

// Keys stand in for textures: the cache never dereferences them.
TEST(TextureImageCache, KeepsTheTenMostRecentlyUsed) {
    TextureImageCache cache;
    std::shared_ptr<CLImage> images[12];
    for (int i = 1; i <= 10; ++i) {
        images[i] = std::make_shared<CLImage>(nullptr);
        cache.Insert(Texture(i), images[i]);
    }
    // Texture 1 looked up again after nine others is still cached and becomes the most recent.
    EXPECT_EQ(images[1], cache.Find(Texture(1)));
    images[11] = std::make_shared<CLImage>(nullptr);
    cache.Insert(Texture(11), images[11]); // evicts texture 2, now the least recently used
    EXPECT_EQ(10u, cache.Size());
    EXPECT_EQ(nullptr, cache.Find(Texture(2)));
    EXPECT_EQ(images[1], cache.Find(Texture(1)));
    EXPECT_EQ(images[3], cache.Find(Texture(3)));
    EXPECT_EQ(2, images[11].use_count());

    cache.Forget(Texture(3));
    EXPECT_EQ(nullptr, cache.Find(Texture(3)));
    EXPECT_EQ(1, images[3].use_count());
    cache.Clear();
    EXPECT_EQ(0u, cache.Size());
    EXPECT_EQ(1, images[11].use_count());
}

} // namespace
} // namespace tsr::test
