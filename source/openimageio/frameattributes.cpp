#include "openimageio/frameattributes.h"

#include <string>

namespace tsr::oiio {

namespace {

std::string FourCCText(uint32_t fourcc) {
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) text[static_cast<size_t>(i)] = static_cast<char>(fourcc >> (8 * i));
    return text;
}

void AddMetadataRecord(OIIO::ImageSpec& spec, const TsrFrameMetadataRecord& r) {
    const std::string prefix = "tesselraw:metadataRecord:";
    const int infoBytes[4] = {r.infoBytes[0], r.infoBytes[1], r.infoBytes[2], r.infoBytes[3]};
    spec.attribute(prefix + "infoBytes", OIIO::TypeDesc(OIIO::TypeDesc::INT, 4), infoBytes);
    spec.attribute(prefix + "bayerPattern", static_cast<int>(r.bayerPattern));
    spec.attribute(prefix + "whiteLevelCode", static_cast<int>(r.whiteLevelCode));
    spec.attribute(prefix + "gain0", r.gain0);
    spec.attribute(prefix + "gain1", r.gain1);
    spec.attribute(prefix + "colorMatrix", OIIO::TypeMatrix33, r.colorMatrix);
    spec.attribute(prefix + "auxFloat", r.auxFloat);
    spec.attribute(prefix + "auxWord", static_cast<int>(r.auxWord));
}

void AddInfoRecord(OIIO::ImageSpec& spec, const TsrFrameInfoRecord& r) {
    const std::string prefix = "tesselraw:frameInfoRecord:";
    spec.attribute(prefix + "rowPitch", r.rowPitch);
    spec.attribute(prefix + "layoutCode", r.layoutCode == TSR_LAYOUT_BP16 ? "bp16" : "bp64");
    spec.attribute(prefix + "width", r.width);
    spec.attribute(prefix + "height", r.height);
    spec.attribute(prefix + "bayerPattern", static_cast<int>(r.bayerPattern));
    spec.attribute(prefix + "blackLevel", r.blackLevel);
    spec.attribute(prefix + "whiteLevel", r.whiteLevel);
    spec.attribute(prefix + "gain0", r.gain0);
    spec.attribute(prefix + "gain1", r.gain1);
    spec.attribute(prefix + "colorMatrix", OIIO::TypeMatrix33, r.colorMatrix);
    spec.attribute(prefix + "auxFloat", r.auxFloat);
    spec.attribute(prefix + "auxWord", r.auxWord);
    spec.attribute(prefix + "maxDcStep", r.maxDcStep);
    spec.attribute(prefix + "sampleOffsets", OIIO::TypeDesc(OIIO::TypeDesc::FLOAT, 8), r.sampleOffsets);
}

} // namespace

OIIO::ImageSpec FrameSpec(const ClipFrames& clip, int index, const FrameProbe& probe) {
    const ClipFacts& facts = clip.Facts();
    const ReaderSettings& settings = clip.Settings();
    OIIO::ImageSpec spec(probe.info.width, probe.info.height, 4,
                         settings.floatOutput ? OIIO::TypeFloat : OIIO::TypeHalf);
    spec.attribute("oiio:Movie", facts.quickTime || clip.FrameCount() > 1 ? 1 : 0);
    spec.attribute("oiio:subimages", clip.FrameCount());
    if (facts.rateNumerator > 0 && facts.rateDenominator > 0) {
        const int rate[2] = {facts.rateNumerator, facts.rateDenominator};
        spec.attribute("FramesPerSecond", OIIO::TypeRational, rate);
    }
    if (const std::optional<uint32_t> timecode = clip.Timecode(index)) {
        const uint32_t smpte[2] = {*timecode, 0}; // time and flags, user bits
        spec.attribute("smpte:TimeCode", OIIO::TypeTimeCode, smpte);
    }
    spec.attribute("oiio:ColorSpace", ColourSpaceName(settings.curve));
    spec.attribute("PixelAspectRatio", 1.0f);
    spec.attribute("tesselraw:frame", index);
    spec.attribute("tesselraw:curve", static_cast<int>(settings.curve));
    spec.attribute("tesselraw:downscale", 1 << settings.scaleIndex);
    const int photosites[2] = {probe.width, probe.height};
    spec.attribute("tesselraw:photosites", OIIO::TypeDesc(OIIO::TypeDesc::INT, 2), photosites);
    if (facts.quickTime) spec.attribute("tesselraw:fourcc", FourCCText(facts.fourcc));
    AddMetadataRecord(spec, probe.metadata);
    AddInfoRecord(spec, probe.info);
    return spec;
}

} // namespace tsr::oiio
