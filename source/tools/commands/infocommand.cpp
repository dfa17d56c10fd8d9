// tsrraw info: header fields, partition, slice statistics and both records of every frame.
#include <cstdio>
#include <memory>

#include "clips/clip.h"
#include "support/commandline.h"
#include "commands/commands.h"
#include "pipeline/framedecoderhandle.h"
#include "clips/framesummary.h"
#include "support/framerange.h"
#include "support/jsonwriter.h"
#include "support/toolerror.h"

namespace tsr::tools {

namespace {

const char kHelp[] =
    "usage: tsrraw info [options] INPUT\n"
    "\n"
    "Shows the header fields, the partition into macroblocks and slices, slice statistics\n"
    "(count, sizes, qScale range), the 60-byte metadata record and the 116-byte frame info\n"
    "record of a frame, or of every frame of a clip (plain frames back to back or QuickTime).\n"
    "\n"
    "options:\n"
    "  --json           machine-readable output\n"
    "  --frames RANGE   N, FIRST-LAST or FIRST- (from 0); default all\n"
    "  --scale N        scale index (0..3) of the decode that fills the frame info record\n"
    "  -h, --help       this text\n";

const char* PatternText(int pattern) {
    static const char* const names[] = {"R G / G B", "G R / B G", "G B / R G", "B G / G R"};
    return names[pattern & 3];
}

std::string LayoutText(uint32_t code) {
    return code == TSR_LAYOUT_BP16 ? "bp16" : code == TSR_LAYOUT_BP64 ? "bp64" : "unknown";
}

void PrintFloats(const char* label, const float* values, int count) {
    std::printf("%s", label);
    for (int i = 0; i < count; ++i) std::printf("%s%g", i ? " " : "", static_cast<double>(values[i]));
    std::printf("\n");
}

void PrintText(int index, const FrameInspection& f) {
    std::printf("frame %d: %zu bytes, %s\n", index, f.length, DecodeResultText(f.decodeResult).c_str());
    if (!f.note.empty()) std::printf("  %s\n", f.note.c_str());
    if (!f.headerReadable) {
        std::printf("  no readable frame header\n");
        return;
    }
    std::printf("  header: frameSize %u, headerSize %u, version %d, headerWord 0x%08x\n", f.frameSize,
                f.headerSize, f.version, f.headerWord);
    std::printf("  picture: %d x %d photosites, bayerPattern %d (%s), pattern word 0x%04x\n", f.width,
                f.height, f.bayerPatternWord & 3, PatternText(f.bayerPatternWord), f.bayerPatternWord);
    std::printf("  whiteLevelCode %u (white level %d, black level %d)\n", f.whiteLevelCode,
                f.whiteLevelCode + 256, TSR_BLACK_LEVEL);
    std::printf("  frameFlags 0x%04x: hasQuantMatrix %d, log2SliceWidth %d, hasToneCurve %d\n", f.frameFlags,
                f.hasQuantMatrix, f.log2SliceWidth, f.hasToneCurve);
    if (f.hasQuantMatrix) {
        std::printf("  quantMatrix:");
        for (int i = 0; i < 64; ++i)
            std::printf("%s%u", i % 8 ? " " : "\n    ", f.quantMatrix[static_cast<size_t>(i)]);
        std::printf("\n");
    }
    std::printf("  toneCurve%s:", f.hasToneCurve ? "" : " (default)");
    for (uint16_t knot : f.toneCurve) std::printf(" %u", knot);
    std::printf("\n");
    std::printf("  partition: %d x %d macroblocks, %d slices per row (widths", f.mbWidth, f.mbHeight,
                f.slicesPerRow);
    for (int w : f.sliceWidthsInRow) std::printf(" %d", w);
    std::printf("), %d slices\n", f.sliceCount);
    if (f.slicesFound > 0)
        std::printf("  slices: %d present, %u..%u bytes (mean %.1f), qScale %d..%d\n", f.slicesFound,
                    f.sliceBytesMin, f.sliceBytesMax, static_cast<double>(f.sliceBytesTotal) / f.slicesFound,
                    f.qScaleMin, f.qScaleMax);
    else
        std::printf("  slices: none present\n");
    if (f.metadataValid) {
        const TsrFrameMetadataRecord& m = f.metadata;
        std::printf("  metadata record: infoBytes %02x %02x %02x %02x, bayerPattern %u, whiteLevelCode %u, "
                    "auxWord %u\n",
                    m.infoBytes[0], m.infoBytes[1], m.infoBytes[2], m.infoBytes[3], m.bayerPattern,
                    m.whiteLevelCode, m.auxWord);
        std::printf("    gain0 %g, gain1 %g, auxFloat %g\n", static_cast<double>(m.gain0),
                    static_cast<double>(m.gain1), static_cast<double>(m.auxFloat));
        PrintFloats("    colorMatrix ", m.colorMatrix, 9);
    }
    if (f.decodeResult == 0) {
        const TsrFrameInfoRecord& r = f.infoRecord;
        std::printf(
            "  frame info record (scale index %d): rowPitch %d, layout %s, %d x %d, bayerPattern %u\n",
            f.scaleIndex, r.rowPitch, LayoutText(r.layoutCode).c_str(), r.width, r.height, r.bayerPattern);
        std::printf(
            "    blackLevel %d, whiteLevel %d, gain0 %g, gain1 %g, auxFloat %g, auxWord %d, maxDcStep %d\n",
            r.blackLevel, r.whiteLevel, static_cast<double>(r.gain0), static_cast<double>(r.gain1),
            static_cast<double>(r.auxFloat), r.auxWord, r.maxDcStep);
        PrintFloats("    colorMatrix ", r.colorMatrix, 9);
        PrintFloats("    sampleOffsets ", r.sampleOffsets, 8);
    }
}

void WriteJson(JsonWriter& json, int index, const FrameInspection& f) {
    json.BeginObject();
    json.Integer("index", index);
    json.Integer("bytes", static_cast<long long>(f.length));
    json.Boolean("valid", f.decodeResult == 0);
    json.Integer("decodeResult", f.decodeResult);
    if (!f.note.empty()) json.String("note", f.note);
    if (f.headerReadable) {
        json.BeginObject("header");
        json.Integer("frameSize", f.frameSize);
        json.Integer("headerSize", f.headerSize);
        json.Integer("version", f.version);
        json.Integer("headerWord", f.headerWord);
        json.Integer("width", f.width);
        json.Integer("height", f.height);
        json.Integer("bayerPattern", f.bayerPatternWord & 3);
        json.Integer("bayerPatternWord", f.bayerPatternWord);
        json.Integer("whiteLevelCode", f.whiteLevelCode);
        json.Integer("frameFlags", f.frameFlags);
        json.Boolean("hasQuantMatrix", f.hasQuantMatrix);
        json.Boolean("hasToneCurve", f.hasToneCurve);
        json.Integer("log2SliceWidth", f.log2SliceWidth);
        json.IntegerArray("quantMatrix", f.quantMatrix);
        json.IntegerArray("toneCurve", f.toneCurve);
        json.EndObject();
        json.BeginObject("partition");
        json.Integer("mbWidth", f.mbWidth);
        json.Integer("mbHeight", f.mbHeight);
        json.Integer("slicesPerRow", f.slicesPerRow);
        json.IntegerArray("sliceWidthsInRow", f.sliceWidthsInRow);
        json.Integer("sliceCount", f.sliceCount);
        json.EndObject();
        json.BeginObject("slices");
        json.Integer("present", f.slicesFound);
        json.Integer("minBytes", f.sliceBytesMin);
        json.Integer("maxBytes", f.sliceBytesMax);
        json.Integer("totalBytes", static_cast<long long>(f.sliceBytesTotal));
        json.Integer("minQScale", f.qScaleMin);
        json.Integer("maxQScale", f.qScaleMax);
        json.EndObject();
    }
    if (f.metadataValid) {
        const TsrFrameMetadataRecord& m = f.metadata;
        json.BeginObject("metadataRecord");
        json.IntegerArray("infoBytes", m.infoBytes);
        json.Integer("bayerPattern", m.bayerPattern);
        json.Integer("whiteLevelCode", m.whiteLevelCode);
        json.Number("gain0", m.gain0);
        json.Number("gain1", m.gain1);
        json.NumberArray("colorMatrix", m.colorMatrix);
        json.Number("auxFloat", m.auxFloat);
        json.Integer("auxWord", m.auxWord);
        json.EndObject();
    }
    if (f.decodeResult == 0) {
        const TsrFrameInfoRecord& r = f.infoRecord;
        json.BeginObject("frameInfoRecord");
        json.Integer("scaleIndex", f.scaleIndex);
        json.Integer("rowPitch", r.rowPitch);
        json.String("layout", LayoutText(r.layoutCode));
        json.Integer("width", r.width);
        json.Integer("height", r.height);
        json.Integer("bayerPattern", r.bayerPattern);
        json.Integer("blackLevel", r.blackLevel);
        json.Integer("whiteLevel", r.whiteLevel);
        json.Number("gain0", r.gain0);
        json.Number("gain1", r.gain1);
        json.NumberArray("colorMatrix", r.colorMatrix);
        json.Number("auxFloat", r.auxFloat);
        json.Integer("auxWord", r.auxWord);
        json.Integer("maxDcStep", r.maxDcStep);
        json.NumberArray("sampleOffsets", r.sampleOffsets);
        json.EndObject();
    }
    json.EndObject();
}

} // namespace

int RunInfo(int argc, const char* const* argv) {
    const CommandLine args(argc, argv, 0, {{"json", false, 0}, {"frames", true, 0}, {"scale", true, 0}});
    if (args.Has("help")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (args.Operands().size() != 1) throw UsageError("info takes one input file (see tsrraw info --help)");
    const int scale = static_cast<int>(args.Integer("scale", 0, 0, 3));
    const FrameRange wanted = FrameRange::Parse(args.Value("frames", "0-"));

    std::unique_ptr<ClipReader> clip = OpenClip(args.Operands()[0]);
    const FrameRange range = wanted.Within(clip->FrameCount());
    const ClipProperties& properties = clip->Properties();
    FrameDecoderOwner decoder(0);
    const bool json = args.Has("json");

    JsonWriter writer;
    if (json) {
        writer.BeginObject();
        writer.String("file", args.Operands()[0]);
        writer.String("container", properties.container);
        if (properties.fourcc) writer.String("fourcc", FourCCText(properties.fourcc));
        if (properties.frameRateDenominator)
            writer.NumberArray("frameRate", std::vector<int>{properties.frameRateNumerator,
                                                             properties.frameRateDenominator});
        writer.Integer("frameCount", clip->FrameCount());
        writer.BeginArray("frames");
    } else {
        std::printf("%s: %s, %d frame%s", args.Operands()[0].c_str(),
                    properties.container == "quicktime" ? "QuickTime/MP4 clip" : "frames back to back",
                    clip->FrameCount(), clip->FrameCount() == 1 ? "" : "s");
        if (properties.fourcc) std::printf(", track type %s", FourCCText(properties.fourcc).c_str());
        if (properties.frameRateDenominator)
            std::printf(", %g frames/s",
                        static_cast<double>(properties.frameRateNumerator) / properties.frameRateDenominator);
        std::printf("\n");
    }
    std::vector<uint8_t> frame;
    for (int index = range.first; index <= range.last; ++index) {
        clip->ReadFrame(index, frame);
        const FrameInspection inspection = InspectFrame(frame, decoder.Get(), scale);
        if (json)
            WriteJson(writer, index, inspection);
        else
            PrintText(index, inspection);
    }
    if (json) {
        writer.EndArray();
        writer.EndObject();
        std::fputs(writer.Text().c_str(), stdout);
    }
    return kExitOk;
}

} // namespace tsr::tools
