// The plug-in in real pipelines, as players use it: uridecodebin and playbin pick it by
// themselves, an accurate seek lands on its frame, a plain stream goes through the typefinder and
// the parser (a damaged frame in the middle too), and gst-inspect-1.0 shows it.
#include <gst/app/gstappsink.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include "gstfixture.h"

namespace tsr::test {
namespace {

constexpr int kWidth = 128, kHeight = 64;

std::vector<Bytes> Frames(int count) {
    std::vector<Bytes> frames;
    for (int i = 0; i < count; ++i) frames.push_back(SceneFrame(kWidth, kHeight, i));
    return frames;
}

std::vector<uint16_t> Pixels(GstSample* sample) {
    GstVideoInfo info;
    EXPECT_TRUE(gst_video_info_from_caps(&info, gst_sample_get_caps(sample)));
    std::vector<uint16_t> pixels;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ)) return pixels;
    for (int y = 0; y < GST_VIDEO_FRAME_HEIGHT(&frame); ++y) {
        const auto* row = reinterpret_cast<const uint16_t*>(
            static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)) +
            y * GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
        pixels.insert(pixels.end(), row, row + 4 * GST_VIDEO_FRAME_WIDTH(&frame));
    }
    gst_video_frame_unmap(&frame);
    return pixels;
}

class Pipeline {
public:
    explicit Pipeline(const std::string& description) {
        GError* error = nullptr;
        m_pipeline = gst_parse_launch(description.c_str(), &error);
        EXPECT_TRUE(m_pipeline) << (error ? error->message : "");
        if (error) g_error_free(error);
        m_sink = m_pipeline ? gst_bin_get_by_name(GST_BIN(m_pipeline), "sink") : nullptr;
    }
    ~Pipeline() {
        if (m_pipeline) {
            gst_element_set_state(m_pipeline, GST_STATE_NULL);
            gst_object_unref(m_pipeline);
        }
        if (m_sink) gst_object_unref(m_sink);
    }
    bool SetState(GstState state) {
        if (gst_element_set_state(m_pipeline, state) == GST_STATE_CHANGE_FAILURE) return false;
        return gst_element_get_state(m_pipeline, nullptr, nullptr, 20 * GST_SECOND) ==
               GST_STATE_CHANGE_SUCCESS;
    }
    // Every picture until the end of the stream.
    std::vector<std::vector<uint16_t>> PullAll() {
        std::vector<std::vector<uint16_t>> pictures;
        while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(m_sink), 20 * GST_SECOND)) {
            pictures.push_back(Pixels(sample));
            gst_sample_unref(sample);
        }
        return pictures;
    }
    // The first message of `types` on the bus, or nullptr after 20 s.
    GstMessage* Wait(GstMessageType types) {
        GstBus* bus = gst_element_get_bus(m_pipeline);
        GstMessage* message = gst_bus_timed_pop_filtered(bus, 20 * GST_SECOND, types);
        gst_object_unref(bus);
        return message;
    }
    std::vector<std::string> Warnings() {
        std::vector<std::string> texts;
        GstBus* bus = gst_element_get_bus(m_pipeline);
        while (GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_WARNING)) {
            GError* error = nullptr;
            gst_message_parse_warning(message, &error, nullptr);
            texts.push_back(error->message);
            g_error_free(error);
            gst_message_unref(message);
        }
        gst_object_unref(bus);
        return texts;
    }
    GstElement* Get() { return m_pipeline; }
    GstElement* Sink() { return m_sink; }

private:
    GstElement* m_pipeline = nullptr;
    GstElement* m_sink = nullptr;
};

const char* const kAppSink = " ! appsink name=sink sync=false caps=video/x-raw,format=RGBA64_LE";

std::string Uri(const std::string& path) {
    gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
    std::string text = uri;
    g_free(uri);
    return text;
}

// Every frame, as tsrraw convert makes it, with the clip's time code as a tag and on each picture.
TEST(Pipelines, UriDecodeBinGivesEveryFrameAsConvertDoes) {
    const std::string clip = WriteClip("uridecodebin.mov", Frames(3), "01:00:00:10");
    Pipeline pipeline("uridecodebin uri=" + Uri(clip) + kAppSink);
    ASSERT_TRUE(pipeline.SetState(GST_STATE_PLAYING));
    std::vector<std::string> timecodes;
    int pictures = 0;
    while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(pipeline.Sink()), 20 * GST_SECOND)) {
        const std::vector<uint16_t> expected = ConvertedPicture(clip, pictures, 1, 1, true);
        const std::vector<uint16_t> pixels = Pixels(sample);
        EXPECT_LE(LargestDifference(expected, pixels.data(), pixels.size()), 1) << "frame " << pictures;
        if (GstVideoTimeCodeMeta* meta = gst_buffer_get_video_time_code_meta(gst_sample_get_buffer(sample))) {
            gchar* text = gst_video_time_code_to_string(&meta->tc);
            timecodes.push_back(text);
            g_free(text);
        }
        gst_sample_unref(sample);
        ++pictures;
    }
    EXPECT_EQ(pictures, 3);
    EXPECT_EQ(timecodes, (std::vector<std::string>{"01:00:00:10", "01:00:00:11", "01:00:00:12"}));
    bool tagged = false;
    GstBus* bus = gst_element_get_bus(pipeline.Get());
    while (GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_TAG)) {
        GstTagList* tags = nullptr;
        gst_message_parse_tag(message, &tags);
        gchar* timecode = nullptr;
        if (gst_tag_list_get_string(tags, "timecode", &timecode))
            tagged = g_str_equal(timecode, "01:00:00:10");
        g_free(timecode);
        gchar* codec = nullptr;
        if (gst_tag_list_get_string(tags, GST_TAG_VIDEO_CODEC, &codec)) {
            EXPECT_STREQ(codec, "Tessel RAW (tsrn)");
        }
        g_free(codec);
        gst_tag_list_unref(tags);
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    EXPECT_TRUE(tagged);
}

TEST(Pipelines, PlayBinPlaysToTheEnd) {
    const std::string clip = WriteClip("playbin.mov", Frames(3));
    Pipeline pipeline("playbin uri=" + Uri(clip) + " video-sink=fakesink audio-sink=fakesink");
    ASSERT_TRUE(pipeline.SetState(GST_STATE_PLAYING));
    GstMessage* message = pipeline.Wait(static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    ASSERT_TRUE(message);
    EXPECT_EQ(GST_MESSAGE_TYPE(message), GST_MESSAGE_EOS);
    gst_message_unref(message);
}

TEST(Pipelines, AccurateSeekLandsOnTheFrame) {
    const std::string clip = WriteClip("seek.mov", Frames(6));
    Pipeline pipeline("filesrc location=" + clip + " ! qtdemux ! tesselrawdec engine=cpu downscale=2" +
                      kAppSink);
    ASSERT_TRUE(pipeline.SetState(GST_STATE_PAUSED));
    const int target = 4;
    ASSERT_TRUE(
        gst_element_seek_simple(pipeline.Get(), GST_FORMAT_TIME,
                                static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                target * GST_SECOND / 24 + GST_MSECOND));
    ASSERT_TRUE(pipeline.SetState(GST_STATE_PAUSED));
    GstSample* sample = gst_app_sink_try_pull_preroll(GST_APP_SINK(pipeline.Sink()), 20 * GST_SECOND);
    ASSERT_TRUE(sample);
    const std::vector<uint16_t> pixels = Pixels(sample);
    gst_sample_unref(sample);
    EXPECT_EQ(LargestDifference(ConvertedPicture(clip, target, 1, 2, true), pixels.data(), pixels.size()),
              1 - 1)
        << "not frame " << target;
}

TEST(Pipelines, PlainStreamGoesThroughTypeFindAndParser) {
    std::vector<Bytes> frames = Frames(5);
    const std::string whole = WriteClip("plain.tsr", frames);
    // Frame 2's header broken (its size field): the frames after it still play.
    frames[2][0] ^= 0x40;
    const std::string damaged = WriteClip("damaged.tsr", frames);
    for (const std::string& clip : {whole, damaged}) {
        Pipeline pipeline("filesrc location=" + clip + " ! decodebin" + kAppSink);
        ASSERT_TRUE(pipeline.SetState(GST_STATE_PLAYING));
        const auto pictures = pipeline.PullAll();
        const bool isDamaged = clip == damaged;
        ASSERT_EQ(pictures.size(), isDamaged ? 4u : 5u) << clip;
        for (size_t i = 0; i < pictures.size(); ++i) {
            const int index = isDamaged && i >= 2 ? static_cast<int>(i) + 1 : static_cast<int>(i);
            EXPECT_LE(LargestDifference(ConvertedPicture(whole, index, 1, 1, true), pictures[i].data(),
                                        pictures[i].size()),
                      1)
                << clip << ": picture " << i;
        }
        const auto warnings = pipeline.Warnings();
        if (isDamaged) {
            ASSERT_EQ(warnings.size(), 1u);
            EXPECT_NE(warnings[0].find("frame 2 "), std::string::npos) << warnings[0];
        }
    }
}

TEST(Pipelines, InspectShowsTheElements) {
    int status = 0;
    const std::string out = RunCommand("gst-inspect-1.0 tesselraw 2>&1", status);
    EXPECT_EQ(status, 0) << out;
    for (const char* expected : {"tesselrawdec", "tesselrawparse", "video/x-tessel-raw"})
        EXPECT_NE(out.find(expected), std::string::npos) << expected << " missing from:\n" << out;
    const std::string dec = RunCommand("gst-inspect-1.0 tesselrawdec 2>&1", status);
    for (const char* expected : {"Codec/Decoder/Video", "video/x-gst-fourcc-tsrn", "RGBA64_LE", "downscale",
                                 "curve", "display", "max-errors", "qos"})
        EXPECT_NE(dec.find(expected), std::string::npos) << expected << " missing from tesselrawdec";
}

} // namespace
} // namespace tsr::test
