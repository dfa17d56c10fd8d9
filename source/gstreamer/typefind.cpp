// The typefinder for plain streams: frames back to back, each starting with its size and "tsrf".
// Certain when the first frame is whole and plausible, likely when its header is.
#include "format/framefinder.h"
#include "format/frameformat.h"
#include "tesselraw.h"

namespace tsr::gst {
namespace {

// The most bytes looked at: a frame header with its slice size table fits in far less.
constexpr uint64_t kMostPeeked = 1u << 20;

void TypeFind(GstTypeFind* find, gpointer) {
    uint64_t want = kFrameHeaderStart;
    const uint8_t* data = gst_type_find_peek(find, 0, static_cast<guint>(want));
    if (!data) return;
    FrameCheck check = CheckFrameAt(data, static_cast<size_t>(want));
    uint64_t seen = want;
    // Ask for what the check needs, while the source has it.
    while (check.verdict == FrameVerdict::NeedMore && check.size <= kMostPeeked) {
        const uint8_t* more = gst_type_find_peek(find, 0, static_cast<guint>(check.size));
        if (!more) break;
        data = more;
        seen = check.size;
        check = CheckFrameAt(data, static_cast<size_t>(seen));
    }
    guint probability = 0;
    if (check.verdict == FrameVerdict::Whole)
        probability = GST_TYPE_FIND_MAXIMUM;
    else if (check.verdict == FrameVerdict::NeedMore && seen > kFrameHeaderStart + header::kFixedSize)
        probability = GST_TYPE_FIND_LIKELY; // the header holds every rule
    else if (check.verdict == FrameVerdict::NeedMore)
        probability = GST_TYPE_FIND_POSSIBLE; // a size and the magic
    if (!probability) return;
    GstCaps* caps = gst_caps_new_empty_simple(kStreamCaps);
    gst_type_find_suggest(find, probability, caps);
    gst_caps_unref(caps);
}

} // namespace

gboolean RegisterTypeFinder(GstPlugin* plugin) {
    GstCaps* caps = gst_caps_new_empty_simple(kStreamCaps);
    const gboolean ok = gst_type_find_register(plugin, "video/x-tessel-raw", GST_RANK_PRIMARY, TypeFind,
                                               "tsr", caps, nullptr, nullptr);
    gst_caps_unref(caps);
    return ok;
}

} // namespace tsr::gst
