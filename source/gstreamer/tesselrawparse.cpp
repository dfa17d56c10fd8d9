// tesselrawparse: cuts a plain stream (frames back to back) into one buffer per frame. Frames
// are found by the format's frame finder; bytes that are no frame (a damaged frame header, a
// cut, garbage) go out as one buffer flagged corrupted, so the decoder reports them as a frame
// and the frames after them play at their own times.
#include <gst/base/gstbaseparse.h>

#include "format/bigendian.h"
#include "format/framefinder.h"
#include "format/frameformat.h"
#include "tesselraw.h"

namespace tsr::gst {
namespace {

// Damaged bytes are passed on in pieces of at most this many while no frame follows them.
constexpr size_t kMaxDamagedPiece = 64u << 20;

struct TesselRawParse {
    GstBaseParse parent;
    int width, height;
    int rateNumerator, rateDenominator; // from upstream caps, else the default rate
    gboolean capsSent;
};
struct TesselRawParseClass {
    GstBaseParseClass parent;
};

GstStaticPadTemplate sinkTemplate =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS("video/x-tessel-raw"));
GstStaticPadTemplate srcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("video/x-tessel-raw, parsed = (boolean) true, "
                                            "width = (int) [ 2, 65534 ], height = (int) [ 2, 65534 ]"));

GST_DEBUG_CATEGORY_STATIC(parseDebug);
#define GST_CAT_DEFAULT parseDebug

G_DEFINE_TYPE(TesselRawParse, tessel_raw_parse, GST_TYPE_BASE_PARSE)

void ResetState(TesselRawParse* self) {
    self->width = self->height = 0;
    self->capsSent = FALSE;
}

gboolean Start(GstBaseParse* parse) {
    auto* self = reinterpret_cast<TesselRawParse*>(parse);
    ResetState(self);
    gst_base_parse_set_min_frame_size(parse, kFrameHeaderStart);
    gst_base_parse_set_frame_rate(parse, static_cast<guint>(self->rateNumerator),
                                  static_cast<guint>(self->rateDenominator), 0, 0);
    gst_base_parse_set_has_timing_info(parse, FALSE);
    gst_base_parse_set_syncable(parse, TRUE);
    return TRUE;
}

gboolean SetSinkCaps(GstBaseParse* parse, GstCaps* caps) {
    auto* self = reinterpret_cast<TesselRawParse*>(parse);
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    int n = 0, d = 0;
    if (gst_structure_get_fraction(s, "framerate", &n, &d) && n > 0 && d > 0) {
        self->rateNumerator = n;
        self->rateDenominator = d;
        gst_base_parse_set_frame_rate(parse, static_cast<guint>(n), static_cast<guint>(d), 0, 0);
        self->capsSent = FALSE;
    }
    return TRUE;
}

// Caps for a frame of the given size, sent when the size first appears or changes.
void SendCaps(TesselRawParse* self, int width, int height) {
    if (self->capsSent && width == self->width && height == self->height) return;
    GstCaps* caps =
        gst_caps_new_simple("video/x-tessel-raw", "parsed", G_TYPE_BOOLEAN, TRUE, "width", G_TYPE_INT, width,
                            "height", G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION, self->rateNumerator,
                            self->rateDenominator, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    gst_pad_set_caps(GST_BASE_PARSE_SRC_PAD(self), caps);
    gst_caps_unref(caps);
    self->width = width;
    self->height = height;
    self->capsSent = TRUE;
}

GstFlowReturn FinishDamaged(GstBaseParse* parse, GstBaseParseFrame* frame, size_t size) {
    GST_WARNING_OBJECT(parse, "%" G_GSIZE_FORMAT " bytes that hold no whole frame", size);
    frame->buffer = gst_buffer_make_writable(frame->buffer);
    GST_BUFFER_FLAG_SET(frame->buffer, GST_BUFFER_FLAG_CORRUPTED);
    gst_base_parse_set_min_frame_size(parse, kFrameHeaderStart);
    return gst_base_parse_finish_frame(parse, frame, static_cast<gint>(size));
}

GstFlowReturn HandleFrame(GstBaseParse* parse, GstBaseParseFrame* frame, gint* skipsize) {
    auto* self = reinterpret_cast<TesselRawParse*>(parse);
    *skipsize = 0;
    GstMapInfo map;
    if (!gst_buffer_map(frame->buffer, &map, GST_MAP_READ)) return GST_FLOW_ERROR;
    const size_t available = map.size;
    const bool draining = GST_BASE_PARSE_DRAINING(parse);
    const FrameCheck check = CheckFrameAt(map.data, available);
    int width = 0, height = 0;
    if (check.verdict == FrameVerdict::Whole) {
        width = LoadU16Be(map.data + kFrameHeaderStart + header::kWidth);
        height = LoadU16Be(map.data + kFrameHeaderStart + header::kHeight);
    }
    // Where the damaged bytes at the start end: the next frame, once it is known to be one.
    size_t damaged = 0;
    size_t needed = 0;
    if (check.verdict == FrameVerdict::NeedMore) {
        needed = static_cast<size_t>(check.size);
        if (draining) damaged = available; // cut short by the end of the stream
    } else if (check.verdict == FrameVerdict::Implausible) {
        const FrameSearch next = FindFrame(map.data, available, 1);
        const bool nextWhole = next.check.verdict == FrameVerdict::Whole;
        if (nextWhole) {
            width = LoadU16Be(map.data + next.offset + kFrameHeaderStart + header::kWidth);
            height = LoadU16Be(map.data + next.offset + kFrameHeaderStart + header::kHeight);
        }
        if (nextWhole || draining || next.offset >= kMaxDamagedPiece)
            damaged = draining && !nextWhole ? available : next.offset;
        else
            needed = next.offset + static_cast<size_t>(next.check.size);
    }
    gst_buffer_unmap(frame->buffer, &map);

    if (check.verdict == FrameVerdict::Whole) {
        SendCaps(self, width, height);
        gst_base_parse_set_min_frame_size(parse, kFrameHeaderStart);
        return gst_base_parse_finish_frame(parse, frame, static_cast<gint>(check.size));
    }
    if (damaged) {
        // Before any frame, downstream still needs caps: a damaged start takes the size of the
        // frame after it, or the smallest size when there is none (nothing decodes then anyway).
        if (!self->capsSent) SendCaps(self, width ? width : 2, height ? height : 2);
        return FinishDamaged(parse, frame, damaged);
    }
    // Ask for the bytes that decide (the base class gives at least this many next time).
    if (needed > G_MAXINT / 2) needed = G_MAXINT / 2;
    gst_base_parse_set_min_frame_size(parse, static_cast<guint>(needed));
    return GST_FLOW_OK;
}

void tessel_raw_parse_class_init(TesselRawParseClass* klass) {
    GST_DEBUG_CATEGORY_INIT(parseDebug, "tesselrawparse", 0, "Tessel RAW frame parser");
    auto* elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
    gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
    gst_element_class_set_static_metadata(elementClass, "Tessel RAW parser", "Codec/Parser/Video",
                                          "Cuts a stream of Tessel RAW frames back to back into frames",
                                          "Tessel RAW tools");
    auto* parseClass = GST_BASE_PARSE_CLASS(klass);
    parseClass->start = Start;
    parseClass->set_sink_caps = SetSinkCaps;
    parseClass->handle_frame = HandleFrame;
}

void tessel_raw_parse_init(TesselRawParse* self) {
    self->rateNumerator = kDefaultRateNumerator;
    self->rateDenominator = kDefaultRateDenominator;
    ResetState(self);
    gst_base_parse_set_pts_interpolation(GST_BASE_PARSE(self), TRUE);
    GST_PAD_SET_ACCEPT_INTERSECT(GST_BASE_PARSE_SINK_PAD(self));
    GST_PAD_SET_ACCEPT_TEMPLATE(GST_BASE_PARSE_SINK_PAD(self));
}

} // namespace

GType TesselRawParseType() {
    return tessel_raw_parse_get_type();
}

} // namespace tsr::gst
