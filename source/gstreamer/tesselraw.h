// The plug-in's elements and typefinder, registered into a plug-in by RegisterTesselRaw (from
// the module's plugin_init, or from gst_plugin_register_static in a program that links them).
#pragma once

#include <gst/gst.h>

namespace tsr::gst {

// Frames back to back as the typefinder names them, before the parser has framed them.
constexpr const char* kStreamCaps = "video/x-tessel-raw";
// The frame rate of a plain stream, which carries none (as tsrraw takes it).
constexpr int kDefaultRateNumerator = 24, kDefaultRateDenominator = 1;

// The tag of a clip's time code, "HH:MM:SS:FF" of its first frame (GStreamer has none of its own).
constexpr const char* kTimecodeTag = "timecode";

gboolean RegisterTesselRaw(GstPlugin* plugin);

GType TesselRawParseType();
GType TesselRawDecType(); // 0 when the plug-in is built without the media library
gboolean RegisterTypeFinder(GstPlugin* plugin);

} // namespace tsr::gst
