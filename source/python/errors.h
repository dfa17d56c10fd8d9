// The module's errors. The media library reports every failure as a media::MediaError; this
// raises it in Python as a subclass of tesselraw.Error carrying the status name, the message
// and, where the failure has one, the numeric code of the decoder's result or the engine's
// status table. Arguments out of range raise ValueError, as Python code expects.
#pragma once

#include <string>

#include <pybind11/pybind11.h>

#include "tsr/media/mediaerror.h"

namespace tsr::python {

// The decoder's result `result` (FRAME_DECODER_*) for the frame named `what` ("frame 3", or ""
// for a frame on its own).
media::MediaError DecoderFailure(int result, const std::string& what);

// Defines Error, DecodeError, EngineError and ClipError in `module` and translates
// media::MediaError into them.
void RegisterErrors(pybind11::module_& module);

} // namespace tsr::python
