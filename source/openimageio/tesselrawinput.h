// The OpenImageIO reader: a Tessel RAW frame file or clip, each frame a subimage of RGBA as the
// engine writes it, halves or (with the hint tesselraw:type float) floats; a read in another type
// is OIIO's conversion of those. Opening reads the clip's index and the first frame; seeking a
// subimage reads that frame and probes it without decoding; the first read of its pixels decodes
// it and runs the engine, and the last frame read is kept.
#pragma once

#include <memory>
#include <string>

#include <OpenImageIO/imageio.h>

#include "openimageio/clipframes.h"

namespace tsr::oiio {

class TesselRawInput final : public OIIO::ImageInput {
public:
    TesselRawInput() = default;
    ~TesselRawInput() override { close(); }

    const char* format_name() const override { return "tesselraw"; }
    bool valid_file(const std::string& filename) const override;
    bool open(const std::string& name, OIIO::ImageSpec& newspec) override;
    bool open(const std::string& name, OIIO::ImageSpec& newspec, const OIIO::ImageSpec& config) override;
    bool close() override;
    int current_subimage() const override;
    bool seek_subimage(int subimage, int miplevel) override;
    bool read_native_scanline(int subimage, int miplevel, int y, int z, void* data) override;
    bool read_native_scanlines(int subimage, int miplevel, int ybegin, int yend, int z, void* data) override;

private:
    // The pixels of `subimage` (seeked to), or null with the error recorded.
    const FramePixels* Pixels(int subimage);

    std::string m_name;
    std::unique_ptr<ClipFrames> m_clip;
    int m_subimage = -1;
};

} // namespace tsr::oiio
