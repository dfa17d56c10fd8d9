// The loadable module: GStreamer finds the plug-in's description here.
#include "tesselraw.h"

#define PACKAGE "tesselraw"
#define GST_PACKAGE_NAME "Tessel RAW tools"
#define GST_PACKAGE_ORIGIN "Tessel RAW tools"

namespace {
gboolean PluginInit(GstPlugin* plugin) {
    return tsr::gst::RegisterTesselRaw(plugin);
}
} // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, tesselraw,
                  "Tessel RAW camera video: decoder, parser and typefinder", PluginInit, TSR_VERSION,
                  "Apache 2.0", PACKAGE, GST_PACKAGE_ORIGIN)
