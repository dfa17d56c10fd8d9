#include "tesselraw.h"

namespace tsr::gst {

gboolean RegisterTesselRaw(GstPlugin* plugin) {
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
