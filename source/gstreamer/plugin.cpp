#include "tesselraw.h"

namespace tsr::gst {

gboolean RegisterTesselRaw(GstPlugin* plugin) {
    if (!gst_tag_exists(kTimecodeTag))
        gst_tag_register(kTimecodeTag, GST_TAG_FLAG_META, G_TYPE_STRING, "time code",
                         "SMPTE time code of the first frame", gst_tag_merge_use_first);
    // A parser ranks above the decoder, so decodebin frames a plain stream before decoding it.
    gboolean ok = gst_element_register(plugin, "tesselrawparse", GST_RANK_PRIMARY + 1, TesselRawParseType());
    if (const GType decoder = TesselRawDecType())
        ok = ok && gst_element_register(plugin, "tesselrawdec", GST_RANK_PRIMARY, decoder);
    return ok && RegisterTypeFinder(plugin);
}

} // namespace tsr::gst

#ifndef TSR_GST_DECODER
GType tsr::gst::TesselRawDecType() {
    return 0;
}
#endif
