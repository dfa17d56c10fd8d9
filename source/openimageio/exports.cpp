// The four symbols OpenImageIO looks up in tesselraw.imageio.so; exports.map hides every other.
#include <OpenImageIO/imageio.h>

#include "openimageio/tesselrawinput.h"

// The plug-in interface version this module claims. OpenImageIO loads only modules that claim
// its own OIIO_PLUGIN_VERSION; the tests build one that claims another to see it refused.
#ifndef TSR_OIIO_PLUGIN_VERSION
#define TSR_OIIO_PLUGIN_VERSION OIIO_PLUGIN_VERSION
#endif

OIIO_PLUGIN_EXPORTS_BEGIN

OIIO_EXPORT int tesselraw_imageio_version = TSR_OIIO_PLUGIN_VERSION;

OIIO_EXPORT const char* tesselraw_imageio_library_version() {
    return "Tessel RAW tools " TSR_VERSION;
}

OIIO_EXPORT OIIO::ImageInput* tesselraw_input_imageio_create() {
    return new tsr::oiio::TesselRawInput;
}

OIIO_EXPORT const char* tesselraw_input_extensions[] = {"tsr", "mov", nullptr};

OIIO_PLUGIN_EXPORTS_END
