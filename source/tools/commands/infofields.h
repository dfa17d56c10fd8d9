// The fields `info` shows about one frame. Both outputs, text and JSON, are rendered from one
// table of fields (infofields.cpp), so a field is added or renamed in one place.
#pragma once

#include <string>

#include "clips/framesummary.h"
#include "support/jsonwriter.h"

namespace tsr::tools {

// The frame's lines of text, each ending in a newline.
std::string FrameInfoText(int index, const FrameInspection& frame);

// The frame as one JSON object (an element of the "frames" array).
void WriteFrameInfoJson(JsonWriter& json, int index, const FrameInspection& frame);

} // namespace tsr::tools
