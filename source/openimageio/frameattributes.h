// The ImageSpec of one frame: RGBA halves of the decoded size, the standard attributes of a
// movie frame (oiio:Movie, oiio:subimages, FramesPerSecond, smpte:TimeCode, oiio:ColorSpace,
// PixelAspectRatio) and both records field by field under "tesselraw:metadataRecord:" and
// "tesselraw:frameInfoRecord:".
#pragma once

#include <OpenImageIO/imageio.h>

#include "openimageio/clipframes.h"

namespace tsr::oiio {

OIIO::ImageSpec FrameSpec(const ClipFrames& clip, int index, const FrameProbe& probe);

} // namespace tsr::oiio
