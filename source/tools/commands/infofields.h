// The fields `info` shows about one frame. Both outputs, text and JSON, are rendered from one
// table of fields (infofields.cpp), so a field is added or renamed in one place.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/jsonwriter.h"
#include "tsr/media/clip.h"
#include "tsr/media/frames.h"

namespace tsr::tools {

// The frame's lines of text, each ending in a newline.
std::string FrameInfoText(int index, const media::FrameInspection& frame);

// The frame as one JSON object (an element of the "frames" array).
void WriteFrameInfoJson(JsonWriter& json, int index, const media::FrameInspection& frame);

// What `info` says about a clip as a whole, gathered over the frames it looked at.
struct ClipSummary {
    std::string file;
    media::ClipProperties properties;
    int frameCount = 0;                     // of the whole clip
    int first = 0, last = -1;               // the frames looked at
    std::vector<std::pair<int, int>> sizes; // width x height, distinct, in order of appearance
    std::vector<int> patterns, versions;    // distinct, ascending
    double bitsMin = 0, bitsMax = 0;        // compressed bits per photosite, over the frames
    double bits = 0, photosites = 0;        // sums, for the mean
    std::vector<int> damaged;               // refused by the decoder or with damaged slices
    std::vector<int> refused;               // the decoder's result is not 0
    bool decoded = false;                   // the frames were decoded (--verify), not only read

    void Add(int index, const media::FrameInspection& frame);
};

// Refused by the decoder, or decoded with slices it skips.
bool FrameDamaged(const media::FrameInspection& frame);

// The summary's lines of text, each ending in a newline.
std::string ClipSummaryText(const ClipSummary& summary);

// The summary as the "summary" object.
void WriteClipSummaryJson(JsonWriter& json, const ClipSummary& summary);

} // namespace tsr::tools
