// Accurate seeks with tesselrawdec, paused, as a player scrubs: the time from the seek to the
// new picture prerolled, for several frames of a clip. Usage: gstreamer_seek CLIP [DOWNSCALE]
// (the plug-in found through GST_PLUGIN_PATH).
#include <gst/gst.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CLIP.mov [DOWNSCALE]\n", argv[0]);
        return 2;
    }
    const std::string downscale = argc > 2 ? argv[2] : "2";
    gchar* location = g_strescape(argv[1], nullptr);
    const std::string description = std::string("filesrc location=\"") + location +
                                    "\" ! qtdemux ! tesselrawdec engine=cpu downscale=" + downscale +
                                    " ! fakesink sync=false";
    g_free(location);
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (!pipeline) {
        std::fprintf(stderr, "%s\n", error ? error->message : "cannot build the pipeline");
        return 1;
    }
    auto paused = [&] {
        return gst_element_get_state(pipeline, nullptr, nullptr, 60 * GST_SECOND) == GST_STATE_CHANGE_SUCCESS;
    };
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    if (!paused()) {
        std::fprintf(stderr, "the pipeline does not preroll\n");
        return 1;
    }
    gint64 duration = 0;
    gst_element_query_duration(pipeline, GST_FORMAT_TIME, &duration);
    const gint64 frameTime = GST_SECOND / 24;
    const int frames = static_cast<int>(duration / frameTime);
    std::vector<double> ms;
    for (int i = 0; i < 10 && frames > 1; ++i) {
        const int target = (7 * i + 3) % frames; // jump about, forwards and back
        const auto start = std::chrono::steady_clock::now();
        gst_element_seek_simple(pipeline, GST_FORMAT_TIME,
                                static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                target * frameTime + frameTime / 2);
        if (!paused()) {
            std::fprintf(stderr, "the seek to frame %d does not preroll\n", target);
            return 1;
        }
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    if (ms.empty()) return 1;
    std::sort(ms.begin(), ms.end());
    std::printf("accurate seek, paused, downscale %s: median %.1f ms, slowest %.1f ms (%zu seeks)\n",
                downscale.c_str(), ms[ms.size() / 2], ms.back(), ms.size());
    return 0;
}
