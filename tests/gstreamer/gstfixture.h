// What the plug-in's tests share: GStreamer started once with a registry of its own in a
// temporary folder and the plug-in found in the build tree, clips made by the encoder, and the
// pictures tsrraw convert makes of the same frames.
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tsr::test {

using Bytes = std::vector<uint8_t>;

// The folder this test process writes into (removed at exit).
const std::string& ScratchFolder();

// Frame `index` of a small moving scene, `width` x `height` photosites.
Bytes SceneFrame(int width, int height, int index);
// A QuickTime clip (.mov) or frames back to back (any other name) of `frames` in the scratch
// folder; returns its path.
std::string WriteClip(const std::string& name, const std::vector<Bytes>& frames,
                      const std::string& timecode = {});

// tsrraw convert of frame `index` of `clip` with the CPU engine at `curve` and `downscale`, as
// 16-bit RGBA the way the decoder element writes it: the display encoding of the curve, or the
// engine's values clipped to 0..1; alpha 1.0.
std::vector<uint16_t> ConvertedPicture(const std::string& clip, int index, unsigned curve, int downscale,
                                       bool display);

// The largest difference between two pictures of the same size.
int LargestDifference(const std::vector<uint16_t>& a, const uint16_t* b, size_t count);

// Runs a command line, returns its standard output; `status` gets its exit status.
std::string RunCommand(const std::string& command, int& status);

} // namespace tsr::test
