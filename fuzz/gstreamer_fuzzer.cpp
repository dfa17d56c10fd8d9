// The GStreamer elements on untrusted bytes, in GstHarness: the first byte picks the path, the
// second how the rest is cut into buffers.
//   even: a plain stream through tesselrawparse into tesselrawdec, in pieces as a source reads
//         them (the parser must find, or resynchronise on, the frames in any cut);
//   odd:  frames as a demuxer hands them to tesselrawdec (video/x-gst-fourcc-tsrn), one buffer
//         each, each after its 16-bit big-endian length.
// Bits 1..2 of the first byte pick the downscale.
// Every output picture is pulled; nothing may crash, leak or hang.
#include <gst/check/gstharness.h>
#include <gst/gst.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "gstreamer/tesselraw.h"
#include "tsr/media/decodedpicture.h"

namespace {

gboolean Register(GstPlugin* plugin) {
    return tsr::gst::RegisterTesselRaw(plugin);
}

void PushPieces(GstHarness* harness, const uint8_t* data, size_t size, size_t piece) {
    for (size_t at = 0; at < size; at += piece) {
        const size_t length = std::min(piece, size - at);
        GstBuffer* buffer = gst_buffer_new_memdup(data + at, length); // length is never 0 here
        if (gst_harness_push(harness, buffer) != GST_FLOW_OK) break;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    gst_init(argc, argv);
    gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "tesselraw", "Tessel RAW", Register, "0",
                               "Apache 2.0", "tesselraw", "tesselraw", "fuzzer");
    tsr::media::DecodedPicture::SetMaxPixels(1024 * 1024);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const bool frames = data[0] & 1;
    const int downscale = 1 << ((data[0] >> 1) & 3);
    const size_t piece = 1 + static_cast<size_t>(data[1]) * 61;
    data += 2;
    size -= 2;
    const std::string properties =
        "tesselrawdec engine=cpu threads=1 max-errors=-1 downscale=" + std::to_string(downscale);
    GstHarness* harness =
        gst_harness_new_parse(frames ? properties.c_str() : ("tesselrawparse ! " + properties).c_str());
    gst_harness_set_src_caps_str(harness, frames ? "video/x-gst-fourcc-tsrn, width=(int)64, height=(int)32, "
                                                   "framerate=(fraction)24/1"
                                                 : "video/x-tessel-raw");
    if (frames) {
        // Frames are cut where the input says: a 16-bit big-endian length before each.
        size_t at = 0;
        while (at + 2 <= size) {
            const size_t length =
                std::min<size_t>(size - at - 2, static_cast<size_t>(data[at]) << 8 | data[at + 1]);
            GstBuffer* buffer = length ? gst_buffer_new_memdup(data + at + 2, length) : gst_buffer_new();
            GST_BUFFER_PTS(buffer) = static_cast<GstClockTime>(at) * GST_MSECOND;
            if (gst_harness_push(harness, buffer) != GST_FLOW_OK) break;
            at += 2 + length;
        }
    } else {
        PushPieces(harness, data, size, piece);
    }
    gst_harness_push_event(harness, gst_event_new_eos());
    while (GstBuffer* buffer = gst_harness_try_pull(harness)) gst_buffer_unref(buffer);
    gst_harness_teardown(harness);
    return 0;
}
