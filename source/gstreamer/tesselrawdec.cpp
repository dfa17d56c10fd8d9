// tesselrawdec: compressed frames in, pictures out. Each frame is decoded by the frame decoder
// (at the size the downscale property asks for, never shrunk afterwards), run through an engine
// and written into a pooled buffer: by default as a proxy shows it (the display encoding of the
// curve, with the same colour tags), or with display=false as the engine's values.
#include <gst/video/gstvideodecoder.h>
#include <gst/video/gstvideometa.h>
#include <gst/video/gstvideopool.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/processorcount.h"
#include "tesselraw.h"
#include "tsr/media/clip.h"
#include "tsr/media/decodedpicture.h"
#include "tsr/media/frames.h"
#include "tsr/media/mediaerror.h"
#include "tsr/media/rgba64.h"
#include "tsr/media/rgbaengine.h"
#include "tsr/media/timecode.h"

namespace tsr::gst {
namespace {

enum class Engine { Auto, Cpu, OpenCL };

constexpr unsigned kMaxCurve = 8;
constexpr unsigned kDefaultCurve = 1;

// A frame between its arrival and its picture: decoded on a helper thread into a picture slot.
struct InFlight {
    GstVideoCodecFrame* frame = nullptr;
    std::future<int> decoded; // the damaged slices; throws what the decoder throws
    std::string failure;      // why the frame cannot be decoded at all
    int index = 0;
    int slot = 0;
    unsigned curve = 0;
    bool display = true;
};

// What the element holds while it runs, apart from the GObject.
struct DecoderState {
    std::unique_ptr<media::FrameDecoder> decoder;
    std::unique_ptr<media::RgbaEngine> engine;
    media::DecodedPicture pictures[2]; // the frame in flight's and the one being developed
    std::vector<uint8_t> bytes[2];
    int nextSlot = 0;
    InFlight pending;
    media::RgbaFrame rgba;
    std::unique_ptr<media::Rgba64Writer> writer; // for the curve and display choice of the last frame
    bool codecTagged = false;
    std::unique_ptr<media::Timecode> timecode; // of the clip's first frame, when it has one
    bool timecodeTagged = false;
};

struct TesselRawDec {
    GstVideoDecoder parent;
    // Properties, under the object lock.
    Engine engine;
    gchar* device;
    int threads;
    int downscale;
    unsigned curve;
    gboolean display;

    GstVideoCodecState* input;
    DecoderState* state;
    // Output negotiated for this size, curve and display choice.
    int outputWidth, outputHeight;
    unsigned outputCurve;
    gboolean outputDisplay;
};
struct TesselRawDecClass {
    GstVideoDecoderClass parent;
};

enum { kPropEngine = 1, kPropDevice, kPropThreads, kPropDownscale, kPropCurve, kPropDisplay };

GstStaticPadTemplate sinkTemplate =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("video/x-gst-fourcc-tsrn; video/x-gst-fourcc-tsrh; "
                                            "video/x-tessel-raw, parsed = (boolean) true"));
GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                                                           GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("RGBA64_LE")));

GST_DEBUG_CATEGORY_STATIC(decDebug);
#define GST_CAT_DEFAULT decDebug

G_DEFINE_TYPE(TesselRawDec, tessel_raw_dec, GST_TYPE_VIDEO_DECODER)

GType EngineType() {
    static GType type = 0;
    static const GEnumValue values[] = {
        {static_cast<gint>(Engine::Auto), "OpenCL on a GPU when there is one, else the CPU engine", "auto"},
        {static_cast<gint>(Engine::Cpu), "The CPU engine", "cpu"},
        {static_cast<gint>(Engine::OpenCL), "OpenCL (the device property picks the device)", "opencl"},
        {0, nullptr, nullptr}};
    if (g_once_init_enter(&type))
        g_once_init_leave(&type, g_enum_register_static("GstTesselRawEngine", values));
    return type;
}

GType DownscaleType() {
    static GType type = 0;
    static const GEnumValue values[] = {{1, "Full size", "1"},
                                        {2, "Half size", "2"},
                                        {4, "Quarter size", "4"},
                                        {8, "Eighth size", "8"},
                                        {0, nullptr, nullptr}};
    if (g_once_init_enter(&type))
        g_once_init_leave(&type, g_enum_register_static("GstTesselRawDownscale", values));
    return type;
}

int ScaleIndex(int downscale) {
    return downscale >= 8 ? 3 : downscale >= 4 ? 2 : downscale >= 2 ? 1 : 0;
}

// The frame's index in its stream, from its time and the frame rate; its number at this
// decoder when the stream gives neither.
gint64 FrameIndex(TesselRawDec* self, const GstVideoCodecFrame* frame) {
    if (self->input && GST_CLOCK_TIME_IS_VALID(frame->pts) && self->input->info.fps_n > 0 &&
        self->input->info.fps_d > 0)
        return static_cast<gint64>(
            gst_util_uint64_scale_round(frame->pts, static_cast<guint64>(self->input->info.fps_n),
                                        GST_SECOND * static_cast<guint64>(self->input->info.fps_d)));
    return frame->system_frame_number;
}

std::string FrameName(TesselRawDec* self, const GstVideoCodecFrame* frame) {
    std::string name = "frame " + std::to_string(FrameIndex(self, frame));
    if (GST_CLOCK_TIME_IS_VALID(frame->pts)) {
        gchar* time = g_strdup_printf("%" GST_TIME_FORMAT, GST_TIME_ARGS(frame->pts));
        name += std::string(" (at ") + time + ")";
        g_free(time);
    }
    return name;
}

// The picture written in bands of rows, one a processor (up to four): the lookups are cheap but
// many, and the frame waits for them.
void WriteInBands(const media::Rgba64Writer& writer, const media::RgbaFrame& rgba, uint16_t* pixels,
                  std::ptrdiff_t stride) {
    const int bands = std::clamp(tsr::ProcessorCount(), 1, 4);
    const int rows = (rgba.height + bands - 1) / bands;
    std::vector<std::thread> helpers;
    for (int band = 1; band < bands && band * rows < rgba.height; ++band)
        helpers.emplace_back([&, band] { writer.Write(rgba, pixels, stride, band * rows, rows); });
    writer.Write(rgba, pixels, stride, 0, rows);
    for (std::thread& helper : helpers) helper.join();
}

// The time code of the clip upstream, read from its file ("" when it has none or is no file).
std::string ClipTimecode(TesselRawDec* self) {
    std::string timecode;
    GstQuery* query = gst_query_new_uri();
    if (gst_pad_peer_query(GST_VIDEO_DECODER_SINK_PAD(self), query)) {
        gchar* uri = nullptr;
        gst_query_parse_uri(query, &uri);
        gchar* path = uri ? g_filename_from_uri(uri, nullptr, nullptr) : nullptr;
        if (path) {
            try {
                timecode = media::OpenClip(path)->Properties().timecode;
            } catch (const std::exception& error) {
                GST_DEBUG_OBJECT(self, "no time code from %s: %s", path, error.what());
            }
        }
        g_free(path);
        g_free(uri);
    }
    gst_query_unref(query);
    return timecode;
}

// Frame `index`'s time code on its picture, and the first frame's as a tag once.
void StampTimecode(TesselRawDec* self, GstVideoCodecFrame* frame, gint64 index) {
    DecoderState& state = *self->state;
    if (!state.timecode || index < 0 || !self->input) return;
    const std::string text = state.timecode->Text(static_cast<int>(index));
    if (!state.timecodeTagged) {
        GstTagList* tags = gst_tag_list_new(kTimecodeTag, state.timecode->Text(0).c_str(), nullptr);
        gst_video_decoder_merge_tags(GST_VIDEO_DECODER(self), tags, GST_TAG_MERGE_REPLACE);
        gst_tag_list_unref(tags);
        state.timecodeTagged = true;
    }
    unsigned hours = 0, minutes = 0, seconds = 0, frames = 0;
    char separator = ':';
    if (std::sscanf(text.c_str(), "%u:%u:%u%c%u", &hours, &minutes, &seconds, &separator, &frames) != 5)
        return;
    const auto flags =
        separator == ';' ? GST_VIDEO_TIME_CODE_FLAGS_DROP_FRAME : GST_VIDEO_TIME_CODE_FLAGS_NONE;
    gst_buffer_add_video_time_code_meta_full(frame->output_buffer, self->input->info.fps_n,
                                             self->input->info.fps_d, nullptr, flags, hours, minutes, seconds,
                                             frames, 0);
}

void SetColorimetry(GstVideoColorimetry& c, unsigned curve, bool display) {
    c.range = GST_VIDEO_COLOR_RANGE_0_255;
    c.matrix = GST_VIDEO_COLOR_MATRIX_RGB;
    c.primaries = curve == 0 ? GST_VIDEO_COLOR_PRIMARIES_BT709 : GST_VIDEO_COLOR_PRIMARIES_BT2020;
    if (!display) {
        c.transfer = GST_VIDEO_TRANSFER_GAMMA10;
        return;
    }
    switch (curve) {
    case 0:
        c.transfer = GST_VIDEO_TRANSFER_BT709;
        break;
    case 1:
        c.transfer = GST_VIDEO_TRANSFER_BT2020_10;
        break;
    case 2:
        c.transfer = GST_VIDEO_TRANSFER_ARIB_STD_B67;
        break;
    default:
        c.transfer = GST_VIDEO_TRANSFER_UNKNOWN;
        break; // log curves: no standard transfer
    }
}

void DiscardPending(TesselRawDec* self);

gboolean Start(GstVideoDecoder* decoder) {
    auto* self = reinterpret_cast<TesselRawDec*>(decoder);
    media::EngineChoice choice;
    GST_OBJECT_LOCK(self);
    choice.engine = self->engine == Engine::Cpu ? "cpu" : self->engine == Engine::OpenCL ? "opencl" : "auto";
    choice.device = self->device ? self->device : "";
    choice.threads = self->threads;
    GST_OBJECT_UNLOCK(self);
    auto state = std::make_unique<DecoderState>();
    try {
        state->decoder = std::make_unique<media::FrameDecoder>(choice.threads);
        state->engine = media::OpenEngine(choice);
    } catch (const media::MediaError& error) {
        GST_ELEMENT_ERROR(self, LIBRARY, INIT, ("%s", error.what()),
                          ("engine %s, device \"%s\"", choice.engine.c_str(), choice.device.c_str()));
        return FALSE;
    } catch (const std::exception& error) {
        GST_ELEMENT_ERROR(self, LIBRARY, INIT, ("%s", error.what()), (nullptr));
        return FALSE;
    }
    GST_INFO_OBJECT(self, "engine: %s", state->engine->Description().c_str());
    self->state = state.release();
    self->outputWidth = self->outputHeight = 0;
    return TRUE;
}

gboolean Stop(GstVideoDecoder* decoder) {
    auto* self = reinterpret_cast<TesselRawDec*>(decoder);
    DiscardPending(self);
    delete self->state;
    self->state = nullptr;
    g_clear_pointer(&self->input, gst_video_codec_state_unref);
    return TRUE;
}

gboolean SetFormat(GstVideoDecoder* decoder, GstVideoCodecState* state) {
    auto* self = reinterpret_cast<TesselRawDec*>(decoder);
    g_clear_pointer(&self->input, gst_video_codec_state_unref);
    self->input = gst_video_codec_state_ref(state);
    self->outputWidth = self->outputHeight = 0; // negotiate again with the next picture
    // A picture comes out within one frame time of its frame going in, when the machine keeps up.
    const GstVideoInfo& info = state->info;
    const GstClockTime frameTime = info.fps_n > 0 && info.fps_d > 0
                                       ? gst_util_uint64_scale(GST_SECOND, static_cast<guint64>(info.fps_d),
                                                               static_cast<guint64>(info.fps_n))
                                       : GST_SECOND / kDefaultRateNumerator;
    gst_video_decoder_set_latency(decoder, frameTime, frameTime);
    // A QuickTime clip's time code, which demuxers do not pass on, from the file itself.
    if (self->state) {
        self->state->timecode.reset();
        const char* name = gst_structure_get_name(gst_caps_get_structure(state->caps, 0));
        if (g_str_has_prefix(name, "video/x-gst-fourcc-") && info.fps_n > 0 && info.fps_d > 0) {
            const std::string start = ClipTimecode(self);
            if (!start.empty()) {
                try {
                    self->state->timecode = std::make_unique<media::Timecode>(start, info.fps_n, info.fps_d);
                    self->state->timecodeTagged = false;
                } catch (const std::exception& error) {
                    GST_WARNING_OBJECT(self, "time code %s: %s", start.c_str(), error.what());
                }
            }
        }
    }
    return TRUE;
}

gboolean Flush(GstVideoDecoder* decoder) {
    DiscardPending(reinterpret_cast<TesselRawDec*>(decoder));
    return TRUE;
}

gboolean Negotiate(TesselRawDec* self, int width, int height, unsigned curve, bool display) {
    if (width == self->outputWidth && height == self->outputHeight && curve == self->outputCurve &&
        display == static_cast<bool>(self->outputDisplay))
        return TRUE;
    auto* decoder = GST_VIDEO_DECODER(self);
    GstVideoCodecState* output =
        gst_video_decoder_set_output_state(decoder, GST_VIDEO_FORMAT_RGBA64_LE, static_cast<guint>(width),
                                           static_cast<guint>(height), self->input);
    SetColorimetry(output->info.colorimetry, curve, display);
    output->info.chroma_site = GST_VIDEO_CHROMA_SITE_UNKNOWN;
    gst_video_codec_state_unref(output);
    if (!gst_video_decoder_negotiate(decoder)) return FALSE;
    self->outputWidth = width;
    self->outputHeight = height;
    self->outputCurve = curve;
    self->outputDisplay = display;
    return TRUE;
}

// The codec name once, which demuxers leave empty.
void TagCodec(TesselRawDec* self) {
    if (self->state->codecTagged) return;
    const char* codec = "Tessel RAW";
    if (self->input && self->input->caps) {
        const char* name = gst_structure_get_name(gst_caps_get_structure(self->input->caps, 0));
        if (g_str_has_suffix(name, "tsrn")) codec = "Tessel RAW (tsrn)";
        if (g_str_has_suffix(name, "tsrh")) codec = "Tessel RAW (tsrh)";
    }
    GstTagList* tags = gst_tag_list_new(GST_TAG_VIDEO_CODEC, codec, nullptr);
    gst_video_decoder_merge_tags(GST_VIDEO_DECODER(self), tags, GST_TAG_MERGE_REPLACE);
    gst_tag_list_unref(tags);
    self->state->codecTagged = true;
}

GstFlowReturn DecodeError(TesselRawDec* self, GstVideoCodecFrame* frame, const std::string& what) {
    GstFlowReturn ret = GST_FLOW_OK;
    const std::string name = FrameName(self, frame);
    // The base class counts the error and posts it once max-errors is passed; before that the
    // user still hears of the frame, as a warning.
    GST_VIDEO_DECODER_ERROR(self, 1, STREAM, DECODE, ("%s is damaged", name.c_str()), ("%s", what.c_str()),
                            ret);
    if (ret == GST_FLOW_OK)
        GST_ELEMENT_WARNING(self, STREAM, DECODE, ("%s is damaged; playing on", name.c_str()),
                            ("%s", what.c_str()));
    gst_video_decoder_release_frame(GST_VIDEO_DECODER(self), frame);
    return ret;
}

// Develops the frame in flight (its decode finished) and sends its picture.
GstFlowReturn Develop(TesselRawDec* self, InFlight& job, int damagedSlices) {
    auto* decoder = GST_VIDEO_DECODER(self);
    DecoderState& state = *self->state;
    GstVideoCodecFrame* frame = job.frame;
    job.frame = nullptr;
    try {
        media::DebayerSettings settings;
        settings.curve = job.curve;
        state.rgba.index = job.index;
        state.engine->Process(state.pictures[job.slot], settings, state.rgba);
    } catch (const std::exception& error) {
        return DecodeError(self, frame, error.what());
    }
    if (damagedSlices) {
        GST_WARNING_OBJECT(self, "%s: %d slices are damaged", FrameName(self, frame).c_str(), damagedSlices);
        GST_VIDEO_CODEC_FRAME_FLAG_SET(frame, GST_VIDEO_CODEC_FRAME_FLAG_CORRUPTED);
    }
    if (!Negotiate(self, state.rgba.width, state.rgba.height, job.curve, job.display)) {
        gst_video_decoder_release_frame(decoder, frame);
        return GST_FLOW_NOT_NEGOTIATED;
    }
    GstFlowReturn ret = gst_video_decoder_allocate_output_frame(decoder, frame);
    if (ret != GST_FLOW_OK) {
        gst_video_decoder_release_frame(decoder, frame);
        return ret;
    }
    GstVideoCodecState* output = gst_video_decoder_get_output_state(decoder);
    GstVideoFrame video;
    const gboolean mapped = gst_video_frame_map(&video, &output->info, frame->output_buffer, GST_MAP_WRITE);
    gst_video_codec_state_unref(output);
    if (!mapped) {
        gst_video_decoder_release_frame(decoder, frame);
        GST_ELEMENT_ERROR(self, RESOURCE, WRITE, ("cannot write the output picture"), (nullptr));
        return GST_FLOW_ERROR;
    }
    auto* pixels = static_cast<uint16_t*>(GST_VIDEO_FRAME_PLANE_DATA(&video, 0));
    const std::ptrdiff_t stride = GST_VIDEO_FRAME_PLANE_STRIDE(&video, 0);
    if (!state.writer || state.writer->Curve() != job.curve || state.writer->Display() != job.display)
        state.writer = std::make_unique<media::Rgba64Writer>(job.curve, job.display);
    WriteInBands(*state.writer, state.rgba, pixels, stride);
    gst_video_frame_unmap(&video);
    StampTimecode(self, frame, job.index);
    return gst_video_decoder_finish_frame(decoder, frame);
}

// Waits for the frame in flight to be decoded; false (the frame reported) when it could not be.
bool AwaitDecode(TesselRawDec* self, InFlight& job, int& damagedSlices, GstFlowReturn& ret) {
    try {
        damagedSlices = job.decoded.get();
        return true;
    } catch (const std::exception& error) {
        ret = DecodeError(self, job.frame, error.what());
        job.frame = nullptr;
        return false;
    }
}

// Finishes the frame in flight, if there is one.
GstFlowReturn CompletePending(TesselRawDec* self) {
    DecoderState& state = *self->state;
    if (!state.pending.frame) return GST_FLOW_OK;
    int damagedSlices = 0;
    GstFlowReturn ret = GST_FLOW_OK;
    if (!AwaitDecode(self, state.pending, damagedSlices, ret)) return ret;
    return Develop(self, state.pending, damagedSlices);
}

// Drops the frame in flight (a flush, a stop).
void DiscardPending(TesselRawDec* self) {
    if (!self->state || !self->state->pending.frame) return;
    InFlight& job = self->state->pending;
    try {
        job.decoded.get();
    } catch (const std::exception&) {
    }
    gst_video_decoder_release_frame(GST_VIDEO_DECODER(self), job.frame);
    job.frame = nullptr;
}

// Playing, frame N is decoded on a helper thread while the engine develops frame N - 1 (as tsrraw
// convert overlaps them), so a picture leaves one frame after its frame arrives.
GstFlowReturn HandleFrame(GstVideoDecoder* decoder, GstVideoCodecFrame* frame) {
    auto* self = reinterpret_cast<TesselRawDec*>(decoder);
    DecoderState& state = *self->state;
    // A frame that is already late is dropped before any work is spent on it.
    if (gst_video_decoder_get_max_decode_time(decoder, frame) < 0) {
        GST_DEBUG_OBJECT(self, "dropping late frame %" G_GINT64_FORMAT, FrameIndex(self, frame));
        return gst_video_decoder_drop_frame(decoder, frame);
    }
    TagCodec(self);
    InFlight job;
    GST_OBJECT_LOCK(self);
    const int scaleIndex = ScaleIndex(self->downscale);
    job.curve = self->curve;
    job.display = self->display;
    GST_OBJECT_UNLOCK(self);
    job.index = static_cast<int>(FrameIndex(self, frame));

    // The frame before is decoded first: the frame decoder takes one frame at a time.
    InFlight previous = std::move(state.pending);
    state.pending = InFlight();
    int previousDamage = 0;
    GstFlowReturn ret = GST_FLOW_OK;
    const bool previousDecoded = previous.frame && AwaitDecode(self, previous, previousDamage, ret);

    GstMapInfo map;
    if (GST_BUFFER_FLAG_IS_SET(frame->input_buffer, GST_BUFFER_FLAG_CORRUPTED)) {
        job.failure = "the stream holds no whole frame here";
    } else if (!gst_buffer_map(frame->input_buffer, &map, GST_MAP_READ)) {
        job.failure = "the input buffer cannot be read";
    } else {
        job.slot = state.nextSlot;
        state.nextSlot ^= 1;
        std::vector<uint8_t>& bytes = state.bytes[job.slot];
        bytes.assign(map.data, map.data + map.size);
        gst_buffer_unmap(frame->input_buffer, &map);
        media::DecodedPicture& picture = state.pictures[job.slot];
        const media::FrameDecoder& frameDecoder = *state.decoder;
        const int index = job.index;
        job.decoded = std::async(std::launch::async, [&frameDecoder, &bytes, &picture, index, scaleIndex] {
            return frameDecoder.Decode(bytes, index, scaleIndex, picture);
        });
    }
    job.frame = frame;

    if (previousDecoded) ret = Develop(self, previous, previousDamage);
    if (!job.failure.empty()) {
        const GstFlowReturn failed = DecodeError(self, frame, job.failure);
        return ret == GST_FLOW_OK ? failed : ret;
    }
    state.pending = std::move(job);
    // Paused (prerolling, scrubbing) nothing follows soon: the picture is wanted now.
    GST_OBJECT_LOCK(self);
    const bool playing = GST_STATE(self) == GST_STATE_PLAYING;
    GST_OBJECT_UNLOCK(self);
    if (!playing && ret == GST_FLOW_OK) ret = CompletePending(self);
    return ret;
}

GstFlowReturn Finish(GstVideoDecoder* decoder) {
    return CompletePending(reinterpret_cast<TesselRawDec*>(decoder));
}

gboolean DecideAllocation(GstVideoDecoder* decoder, GstQuery* query) {
    if (!GST_VIDEO_DECODER_CLASS(tessel_raw_dec_parent_class)->decide_allocation(decoder, query))
        return FALSE;
    GstBufferPool* pool = nullptr;
    if (gst_query_get_n_allocation_pools(query) > 0)
        gst_query_parse_nth_allocation_pool(query, 0, &pool, nullptr, nullptr, nullptr);
    if (!pool) return FALSE;
    GstStructure* config = gst_buffer_pool_get_config(pool);
    if (gst_query_find_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr))
        gst_buffer_pool_config_add_option(config, GST_BUFFER_POOL_OPTION_VIDEO_META);
    const gboolean ok = gst_buffer_pool_set_config(pool, config);
    gst_object_unref(pool);
    return ok;
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* spec) {
    auto* self = reinterpret_cast<TesselRawDec*>(object);
    GST_OBJECT_LOCK(self);
    switch (id) {
    case kPropEngine:
        self->engine = static_cast<Engine>(g_value_get_enum(value));
        break;
    case kPropDevice:
        g_free(self->device);
        self->device = g_value_dup_string(value);
        break;
    case kPropThreads:
        self->threads = g_value_get_int(value);
        break;
    case kPropDownscale:
        self->downscale = g_value_get_enum(value);
        break;
    case kPropCurve:
        self->curve = g_value_get_uint(value);
        break;
    case kPropDisplay:
        self->display = g_value_get_boolean(value);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
        break;
    }
    GST_OBJECT_UNLOCK(self);
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* spec) {
    auto* self = reinterpret_cast<TesselRawDec*>(object);
    GST_OBJECT_LOCK(self);
    switch (id) {
    case kPropEngine:
        g_value_set_enum(value, static_cast<gint>(self->engine));
        break;
    case kPropDevice:
        g_value_set_string(value, self->device);
        break;
    case kPropThreads:
        g_value_set_int(value, self->threads);
        break;
    case kPropDownscale:
        g_value_set_enum(value, self->downscale);
        break;
    case kPropCurve:
        g_value_set_uint(value, self->curve);
        break;
    case kPropDisplay:
        g_value_set_boolean(value, self->display);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
        break;
    }
    GST_OBJECT_UNLOCK(self);
}

void Finalize(GObject* object) {
    auto* self = reinterpret_cast<TesselRawDec*>(object);
    g_free(self->device);
    delete self->state;
    self->state = nullptr;
    G_OBJECT_CLASS(tessel_raw_dec_parent_class)->finalize(object);
}

void tessel_raw_dec_class_init(TesselRawDecClass* klass) {
    GST_DEBUG_CATEGORY_INIT(decDebug, "tesselrawdec", 0, "Tessel RAW decoder");
    auto* objectClass = G_OBJECT_CLASS(klass);
    objectClass->set_property = SetProperty;
    objectClass->get_property = GetProperty;
    objectClass->finalize = Finalize;
    const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
    const auto startFlags = static_cast<GParamFlags>(flags | GST_PARAM_MUTABLE_READY);
    const auto playingFlags = static_cast<GParamFlags>(flags | GST_PARAM_MUTABLE_PLAYING);
    g_object_class_install_property(
        objectClass, kPropEngine,
        g_param_spec_enum("engine", "Engine", "What turns the decoded mosaic into pictures", EngineType(),
                          static_cast<gint>(Engine::Auto), startFlags));
    g_object_class_install_property(
        objectClass, kPropDevice,
        g_param_spec_string("device", "OpenCL device",
                            "auto, gpu, cpu, or P:D / P as `tsrraw devices` numbers them (OpenCL only)", "",
                            startFlags));
    g_object_class_install_property(
        objectClass, kPropThreads,
        g_param_spec_int("threads", "Threads",
                         "Workers of the frame decoder and the CPU engine (0: one per "
                         "processor)",
                         0, 1024, 0, startFlags));
    g_object_class_install_property(
        objectClass, kPropDownscale,
        g_param_spec_enum("downscale", "Downscale",
                          "Picture size: 1 full, 2 half, 4 quarter, 8 eighth (decoded "
                          "at that size)",
                          DownscaleType(), 1, playingFlags));
    g_object_class_install_property(
        objectClass, kPropCurve,
        g_param_spec_uint("curve", "Curve",
                          "0 linear BT.709, 1 linear BT.2020, 2 HLG, 3..8 log curves (as tsrraw --curve)", 0,
                          kMaxCurve, kDefaultCurve, playingFlags));
    g_object_class_install_property(
        objectClass, kPropDisplay,
        g_param_spec_boolean("display", "Display encoding",
                             "The picture a proxy shows (display encoding of the curve); false: the engine's "
                             "values clipped to 0..1",
                             TRUE, playingFlags));

    auto* elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
    gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
    gst_element_class_set_static_metadata(elementClass, "Tessel RAW decoder", "Codec/Decoder/Video",
                                          "Decodes and develops Tessel RAW camera frames (tsrn, tsrh)",
                                          "Tessel RAW tools");
    gst_type_mark_as_plugin_api(EngineType(), static_cast<GstPluginAPIFlags>(0));
    gst_type_mark_as_plugin_api(DownscaleType(), static_cast<GstPluginAPIFlags>(0));

    auto* decoderClass = GST_VIDEO_DECODER_CLASS(klass);
    decoderClass->start = Start;
    decoderClass->stop = Stop;
    decoderClass->set_format = SetFormat;
    decoderClass->flush = Flush;
    decoderClass->handle_frame = HandleFrame;
    decoderClass->finish = Finish;
    decoderClass->drain = Finish;
    decoderClass->decide_allocation = DecideAllocation;
}

void tessel_raw_dec_init(TesselRawDec* self) {
    self->engine = Engine::Auto;
    self->device = g_strdup("");
    self->threads = 0;
    self->downscale = 1;
    self->curve = kDefaultCurve;
    self->display = TRUE;
    self->input = nullptr;
    self->state = nullptr;
    self->outputWidth = self->outputHeight = 0;
    self->outputCurve = 0;
    self->outputDisplay = TRUE;
    auto* decoder = GST_VIDEO_DECODER(self);
    gst_video_decoder_set_packetized(decoder, TRUE);
    gst_video_decoder_set_use_default_pad_acceptcaps(decoder, TRUE);
    GST_PAD_SET_ACCEPT_TEMPLATE(GST_VIDEO_DECODER_SINK_PAD(self));
}

} // namespace

GType TesselRawDecType() {
    return tessel_raw_dec_get_type();
}

} // namespace tsr::gst
