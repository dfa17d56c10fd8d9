// tesselrawdec in GstHarness: caps in and out with the colorimetry of every curve and size, a
// damaged frame within and beyond max-errors, a flush mid-stream, and a late frame that QoS
// drops before it is decoded.
#include <gst/check/gstharness.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <set>

#include "gstfixture.h"

namespace tsr::test {
namespace {

constexpr int kWidth = 128, kHeight = 64;
constexpr GstClockTime kFrameTime = GST_SECOND / 24;

class Harness {
public:
    explicit Harness(const std::string& properties = "") {
        m_harness = gst_harness_new_parse(("tesselrawdec engine=cpu threads=2 " + properties).c_str());
        m_bus = gst_bus_new();
        gst_element_set_bus(m_harness->element, m_bus);
        gst_harness_set_src_caps_str(m_harness, "video/x-gst-fourcc-tsrn, width=(int)128, height=(int)64, "
                                                "framerate=(fraction)24/1, pixel-aspect-ratio=(fraction)1/1");
    }
    ~Harness() {
        gst_harness_teardown(m_harness);
        gst_object_unref(m_bus);
    }
    GstFlowReturn Push(const Bytes& frame, int index) {
        GstBuffer* buffer = gst_buffer_new_memdup(frame.data(), frame.size());
        GST_BUFFER_PTS(buffer) = static_cast<GstClockTime>(index) * kFrameTime;
        GST_BUFFER_DURATION(buffer) = kFrameTime;
        return gst_harness_push(m_harness, buffer);
    }
    guint Waiting() { return gst_harness_buffers_in_queue(m_harness); }
    // The end of the stream: the decoder hands out the frame it still holds.
    void Drain() { gst_harness_push_event(m_harness, gst_event_new_eos()); }
    // The next picture as 16-bit RGBA without row padding; `info` gets its caps.
    std::vector<uint16_t> Pull(GstVideoInfo& info) {
        GstBuffer* buffer = gst_harness_pull(m_harness);
        GstCaps* caps = gst_pad_get_current_caps(m_harness->sinkpad);
        EXPECT_TRUE(gst_video_info_from_caps(&info, caps));
        gst_caps_unref(caps);
        std::vector<uint16_t> pixels;
        GstVideoFrame frame;
        if (buffer && gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
            const int width = GST_VIDEO_FRAME_WIDTH(&frame), height = GST_VIDEO_FRAME_HEIGHT(&frame);
            for (int y = 0; y < height; ++y) {
                const auto* row = reinterpret_cast<const uint16_t*>(
                    static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)) +
                    y * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
                pixels.insert(pixels.end(), row, row + 4 * width);
            }
            gst_video_frame_unmap(&frame);
        }
        if (buffer) gst_buffer_unref(buffer);
        return pixels;
    }
    // The texts of the messages of `type` posted so far.
    std::vector<std::string> Messages(GstMessageType type) {
        std::vector<std::string> texts;
        while (GstMessage* message = gst_bus_pop_filtered(m_bus, type)) {
            GError* error = nullptr;
            gchar* debug = nullptr;
            if (type == GST_MESSAGE_ERROR) gst_message_parse_error(message, &error, &debug);
            if (type == GST_MESSAGE_WARNING) gst_message_parse_warning(message, &error, &debug);
            texts.push_back(error ? error->message : GST_MESSAGE_TYPE_NAME(message));
            if (error) g_error_free(error);
            g_free(debug);
            gst_message_unref(message);
        }
        return texts;
    }
    GstHarness* Get() { return m_harness; }
    void Set(const char* property, int value) {
        GstElement* element = m_harness->element;
        if (GST_IS_BIN(element)) {
            GstIterator* it = gst_bin_iterate_all_by_element_factory_name(GST_BIN(element), "tesselrawdec");
            GValue item = G_VALUE_INIT;
            if (gst_iterator_next(it, &item) == GST_ITERATOR_OK)
                g_object_set(g_value_get_object(&item), property, value, nullptr);
            g_value_unset(&item);
            gst_iterator_free(it);
        } else {
            g_object_set(element, property, value, nullptr);
        }
    }

private:
    GstHarness* m_harness;
    GstBus* m_bus;
};

// A frame whose header breaks a rule (an odd width): the frame decoder refuses it.
Bytes Damaged(Bytes frame) {
    frame[8 + 9] |= 1;
    return frame;
}

TEST(DecoderHarness, CapsAndPicturesForEveryCurveAndSize) {
    const std::vector<Bytes> frames = {SceneFrame(kWidth, kHeight, 0)};
    const std::string clip = WriteClip("caps.mov", frames);
    const struct {
        unsigned curve;
        int downscale;
        bool display;
        GstVideoTransferFunction transfer;
        GstVideoColorPrimaries primaries;
    } cases[] = {
        {0, 1, true, GST_VIDEO_TRANSFER_BT709, GST_VIDEO_COLOR_PRIMARIES_BT709},
        {1, 2, true, GST_VIDEO_TRANSFER_BT2020_10, GST_VIDEO_COLOR_PRIMARIES_BT2020},
        {2, 4, true, GST_VIDEO_TRANSFER_ARIB_STD_B67, GST_VIDEO_COLOR_PRIMARIES_BT2020},
        {5, 8, true, GST_VIDEO_TRANSFER_UNKNOWN, GST_VIDEO_COLOR_PRIMARIES_BT2020},
        {0, 2, false, GST_VIDEO_TRANSFER_GAMMA10, GST_VIDEO_COLOR_PRIMARIES_BT709},
        {1, 1, false, GST_VIDEO_TRANSFER_GAMMA10, GST_VIDEO_COLOR_PRIMARIES_BT2020},
    };
    for (const auto& c : cases) {
        const std::string name = "curve " + std::to_string(c.curve) + ", downscale " +
                                 std::to_string(c.downscale) + (c.display ? ", display" : ", engine values");
        Harness harness("curve=" + std::to_string(c.curve) + " downscale=" + std::to_string(c.downscale) +
                        " display=" + (c.display ? "true" : "false"));
        ASSERT_EQ(harness.Push(frames[0], 0), GST_FLOW_OK) << name;
        harness.Drain();
        GstVideoInfo info;
        const std::vector<uint16_t> pixels = harness.Pull(info);
        EXPECT_EQ(GST_VIDEO_INFO_FORMAT(&info), GST_VIDEO_FORMAT_RGBA64_LE) << name;
        EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&info), kWidth / c.downscale) << name;
        EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&info), kHeight / c.downscale) << name;
        EXPECT_EQ(GST_VIDEO_INFO_FPS_N(&info), 24) << name;
        EXPECT_EQ(info.colorimetry.transfer, c.transfer) << name;
        EXPECT_EQ(info.colorimetry.primaries, c.primaries) << name;
        EXPECT_EQ(info.colorimetry.range, GST_VIDEO_COLOR_RANGE_0_255) << name;
        const std::vector<uint16_t> expected = ConvertedPicture(clip, 0, c.curve, c.downscale, c.display);
        EXPECT_LE(LargestDifference(expected, pixels.data(), pixels.size()), 1) << name;
    }
}

TEST(DecoderHarness, DamagedFrameIsReportedAndTheNextPlays) {
    const Bytes good0 = SceneFrame(kWidth, kHeight, 0), good2 = SceneFrame(kWidth, kHeight, 2);
    {
        Harness harness("max-errors=1");
        EXPECT_EQ(harness.Push(good0, 0), GST_FLOW_OK);
        EXPECT_EQ(harness.Push(Damaged(good0), 1), GST_FLOW_OK);
        EXPECT_EQ(harness.Push(good2, 2), GST_FLOW_OK);
        harness.Drain();
        EXPECT_EQ(harness.Waiting(), 2u);
        const auto warnings = harness.Messages(GST_MESSAGE_WARNING);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find("frame 1 "), std::string::npos) << warnings[0];
        EXPECT_TRUE(harness.Messages(GST_MESSAGE_ERROR).empty());
    }
    {
        Harness harness("max-errors=0");
        EXPECT_EQ(harness.Push(Damaged(good0), 3), GST_FLOW_OK); // decoded while the next frame comes
        EXPECT_EQ(harness.Push(good2, 4), GST_FLOW_ERROR);
        EXPECT_EQ(harness.Waiting(), 0u);
        const auto errors = harness.Messages(GST_MESSAGE_ERROR);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find("frame 3 "), std::string::npos) << errors[0];
    }
}

TEST(DecoderHarness, FlushMidStreamDecodesTheNextFrameAsAlone) {
    const Bytes frame1 = SceneFrame(kWidth, kHeight, 1), frame5 = SceneFrame(kWidth, kHeight, 5);
    GstVideoInfo info;
    Harness alone;
    ASSERT_EQ(alone.Push(frame5, 5), GST_FLOW_OK);
    alone.Drain();
    const std::vector<uint16_t> expected = alone.Pull(info);

    Harness harness("downscale=2");
    ASSERT_EQ(harness.Push(frame1, 1), GST_FLOW_OK);
    EXPECT_TRUE(gst_harness_push_event(harness.Get(), gst_event_new_flush_start()));
    EXPECT_TRUE(gst_harness_push_event(harness.Get(), gst_event_new_flush_stop(TRUE)));
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    EXPECT_TRUE(gst_harness_push_event(harness.Get(), gst_event_new_segment(&segment)));
    harness.Set("downscale", 1);
    ASSERT_EQ(harness.Push(frame5, 5), GST_FLOW_OK);
    harness.Drain();
    // Only the frame after the flush remains (the frame held at the flush is dropped), whole size again, and
    // equal to decoding it alone.
    std::vector<uint16_t> pixels;
    while (harness.Waiting() > 0) pixels = harness.Pull(info);
    EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&info), kWidth);
    EXPECT_EQ(LargestDifference(expected, pixels.data(), pixels.size()), 0);
}

// Pictures come from the negotiated pool, with video meta when downstream takes it, and are
// reused once returned; a picture leaves one frame after its frame (the latency reported).
TEST(DecoderHarness, PooledPicturesAndOneFrameOfLatency) {
    Harness harness;
    gst_harness_add_propose_allocation_meta(harness.Get(), GST_VIDEO_META_API_TYPE, nullptr);
    std::set<const void*> memories;
    const int frames = 6;
    for (int i = 0; i < frames; ++i) {
        ASSERT_EQ(harness.Push(SceneFrame(kWidth, kHeight, i), i), GST_FLOW_OK);
        EXPECT_EQ(harness.Waiting(), i == 0 ? 0u : 1u) << "frame " << i;
        if (i == frames - 1) harness.Drain();
        while (GstBuffer* buffer = gst_harness_try_pull(harness.Get())) {
            EXPECT_TRUE(buffer->pool) << "not from a pool";
            EXPECT_TRUE(gst_buffer_get_video_meta(buffer));
            GstMapInfo map;
            ASSERT_TRUE(gst_buffer_map(buffer, &map, GST_MAP_READ));
            memories.insert(map.data);
            gst_buffer_unmap(buffer, &map);
            gst_buffer_unref(buffer);
        }
    }
    EXPECT_LE(memories.size(), 3u) << "a new picture for every frame";
    EXPECT_EQ(gst_harness_query_latency(harness.Get()), kFrameTime);
}

TEST(DecoderHarness, LateFrameIsDroppedBeforeDecoding) {
    const Bytes good = SceneFrame(kWidth, kHeight, 0);
    Harness harness;
    ASSERT_EQ(harness.Push(good, 0), GST_FLOW_OK);
    // Downstream says it is running two seconds behind: frame 1 is late.
    EXPECT_TRUE(gst_harness_push_upstream_event(
        harness.Get(), gst_event_new_qos(GST_QOS_TYPE_UNDERFLOW, 0.5, 2 * GST_SECOND, kFrameTime)));
    // A damaged late frame shows whether it was looked at: decoding it would post a warning.
    EXPECT_EQ(harness.Push(Damaged(good), 1), GST_FLOW_OK);
    EXPECT_EQ(harness.Push(good, 240), GST_FLOW_OK);
    // Not late any more: the same damaged frame is decoded, and reported.
    EXPECT_EQ(harness.Push(Damaged(good), 241), GST_FLOW_OK);
    harness.Drain();
    EXPECT_EQ(harness.Waiting(), 2u);
    const auto warnings = harness.Messages(GST_MESSAGE_WARNING);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("frame 241 "), std::string::npos) << warnings[0];
}

} // namespace
} // namespace tsr::test
