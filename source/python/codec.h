// The way back: Bayer mosaics from numpy to compressed frames, and frames to clip files.
#pragma once

#include <optional>
#include <string>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "encoder/frameencoder.h"

namespace tsr::python {

// encode()'s keyword arguments, checked: ValueError for values out of range.
EncoderSettings EncoderSettingsFrom(int pattern, int quality, std::optional<double> bitsPerPhotosite,
                                    int whiteLevel, const pybind11::object& gains,
                                    const pybind11::object& matrix, double exposure);

// One frame from a uint16 (H, W) array (any strides); the GIL is released while encoding.
// TypeError for another type, ValueError for a shape the format cannot hold.
pybind11::bytes EncodeBayer(const pybind11::object& bayer, const EncoderSettings& settings);

// Writes `frames` (uint16 (H, W) arrays, encoded with `settings`, or bytes of frames already
// encoded) to `path`: QuickTime for .mov and .qt, else frames back to back. All or nothing: the
// file appears only when every frame is in.
void WriteClip(const std::string& path, const pybind11::iterable& frames, int rateNumerator,
               int rateDenominator, const std::string& fourcc, const std::optional<std::string>& timecode,
               const EncoderSettings& settings);

} // namespace tsr::python
