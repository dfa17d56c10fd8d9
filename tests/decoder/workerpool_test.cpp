// The worker pool, several decoders at once, and the choice of transform variant.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "common/processorcount.h"
#include "decoder/cpufeatures.h"
#include "decoder/workerpool.h"
#include "decoderfixture.h"
#include "framebuilder.h"

namespace tsr::test {
namespace {

TEST(WorkerPool, ThreadCounts) {
    for (int requested : {1, 3, 64}) {
        auto pool = WorkerPool::Create(requested);
        ASSERT_TRUE(pool);
        EXPECT_EQ(pool->ThreadCount(), requested);
        pool->Run(nullptr, 0); // an empty batch returns at once
    }
    for (int requested : {0, -4, 1, 7, 200}) {
        FrameDecoderHandle decoder = frameDecoderCreate(requested);
        ASSERT_NE(decoder, nullptr) << requested;
        frameDecoderDestroy(decoder); // right after create: every worker ends
    }
    frameDecoderDestroy(nullptr);
    EXPECT_GE(ProcessorCount(), 1);
}

// The same output whatever the thread count, and with two or more threads the rows of a tall
// frame are shared: more than one worker takes part (in one of a few tries, since a worker that
// wakes late may find every row taken).
TEST(WorkerPool, SameOutputWhateverTheThreadCountAndRowsAreShared) {
    const int dc[4] = {-500, 200, 900, 3000};
    const auto frame = BuildFrame(DcFrame(1024, 2048, 1, dc));
    std::vector<uint8_t> first;
    for (int threads : {1, 2, 5, 64}) {
        DecoderHandle decoder(threads);
        int mostWorkers = 0;
        for (int attempt = 0; attempt < 50 && mostWorkers < std::min(threads, 2); ++attempt) {
            GuardedImage image(2048, 2048);
            ASSERT_EQ(DecodeInto(decoder, frame, image, 0), 0);
            if (first.empty()) first = image.storage;
            EXPECT_EQ(image.storage, first) << threads;
            const int workers = PoolOf(decoder.handle).LastRunWorkers();
            EXPECT_GE(workers, 1) << threads;
            EXPECT_LE(workers, threads);
            mostWorkers = std::max(mostWorkers, workers);
        }
        EXPECT_GE(mostWorkers, std::min(threads, 2)) << threads << " threads";
    }
}

TEST(WorkerPool, TwoDecodersDecodeConcurrently) {
    const int dcA[4] = {1, 2, 3, 4}, dcB[4] = {-40, 80, -120, 160};
    const auto frameA = BuildFrame(DcFrame(256, 128, 2, dcA));
    const auto frameB = BuildFrame(DcFrame(128, 256, 3, dcB));
    auto reference = [](const std::vector<uint8_t>& frame, int pitch, int height) {
        DecoderHandle decoder(1);
        GuardedImage image(pitch, height);
        DecodeInto(decoder, frame, image, 0);
        return image.storage;
    };
    const auto expectedA = reference(frameA, 512, 128), expectedB = reference(frameB, 256, 256);
    DecoderHandle a(2), b(2);
    bool okA = true, okB = true;
    auto loop = [](FrameDecoderHandle d, const std::vector<uint8_t>& frame, int pitch, int height,
                   const std::vector<uint8_t>& expected, bool& ok) {
        for (int i = 0; i < 50; ++i) {
            GuardedImage image(pitch, height);
            ok = ok && DecodeInto(d, frame, image, 0) == 0 && image.storage == expected;
        }
    };
    std::thread ta(loop, a.handle, std::cref(frameA), 512, 128, std::cref(expectedA), std::ref(okA));
    std::thread tb(loop, b.handle, std::cref(frameB), 256, 256, std::cref(expectedB), std::ref(okB));
    ta.join();
    tb.join();
    EXPECT_TRUE(okA);
    EXPECT_TRUE(okB);
}

void SetForceSse2(const char* value) {
#ifdef _WIN32
    _putenv_s("IcpForceSSE2", value ? value : "");
#else
    if (value)
        setenv("IcpForceSSE2", value, 1);
    else
        unsetenv("IcpForceSSE2");
#endif
}

TEST(TransformChoice, EnvironmentForcesTheBaseline) {
    const bool avx = ProcessorHasAvx();
    struct Case {
        const char* value;
        bool forced;
    };
    const Case cases[] = {{nullptr, false}, {"1", true},    {" -3x", true},
                          {"0", false},     {"abc", false}, {"", false}};
    for (const Case& c : cases) {
        SetForceSse2(c.value);
        testing::internal::CaptureStderr();
        const bool chosen = ChooseAvxTransform();
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(chosen, avx && !c.forced) << (c.value ? c.value : "unset");
        EXPECT_EQ(printed, c.forced ? "***** forcing SSE2M ****\n" : "") << (c.value ? c.value : "unset");
    }
    SetForceSse2(nullptr);
}

} // namespace
} // namespace tsr::test
