// Clips: the tool's encode gives the library's frames, and every container round trip (the
// tool's writers, the tool's readers, QuickTime and plain) returns the same frames.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "encoder/syntheticscene.h"
#include "pictures/imagefiles.h"
#include "support/toolerror.h"
#include "toolfixture.h"
#include "tsr/media/clip.h"

namespace tsr::tools::test {

using namespace media;
namespace {

using ClipTest = ToolTest;

std::vector<std::vector<uint8_t>> ReadAll(const std::string& path, ClipProperties* properties = nullptr) {
    std::unique_ptr<ClipReader> clip = OpenClip(path);
    if (properties) *properties = clip->Properties();
    std::vector<std::vector<uint8_t>> frames(static_cast<size_t>(clip->FrameCount()));
    // Backwards, so the readers' random access is exercised as well.
    for (int i = clip->FrameCount() - 1; i >= 0; --i) clip->ReadFrame(i, frames[static_cast<size_t>(i)]);
    return frames;
}

TEST_F(ClipTest, EncodedSceneMatchesTheLibraryInEveryContainer) {
    EncoderSettings settings;
    settings.bayerPattern = 2;
    settings.qScale = 7;
    settings.log2SliceWidth = 1;
    settings.hasQuantMatrix = true;
    settings.quantMatrix.fill(3);
    settings.quantMatrix[0] = 1;
    settings.hasToneCurve = true;
    settings.toneCurve = {0, 400, 1000, 2000, 4000, 8000, 16000, 32000};
    settings.whiteLevelCode = 3000;
    settings.gain0 = 2.25f;
    settings.gain1 = 1.5f;
    settings.colorMatrix = {0.5f, 0.25f, 0.125f, 0.2f, 0.7f, 0.1f, 0.0f, 0.1f, 0.9f};
    settings.auxFloat = 0.75f;
    // Frame times follow the clip rate: 24 frames/s here, as SceneFrames renders them.
    const std::vector<std::vector<uint8_t>> expected = SceneFrames(3, 64, 48, settings);
    ASSERT_NE(expected[0], expected[1]) << "the scene moves";

    const std::vector<std::string> options = {"encode",
                                              "--scene",
                                              "--size",
                                              "64x48",
                                              "--count",
                                              "3",
                                              "--pattern",
                                              "2",
                                              "--qscale",
                                              "7",
                                              "--slice-width",
                                              "2",
                                              "--quant-matrix",
                                              "1,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,"
                                              "3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,"
                                              "3,3,3,3,3,3,3,3",
                                              "--tone-curve",
                                              "0,400,1000,2000,4000,8000,16000,32000",
                                              "--white-level-code",
                                              "3000",
                                              "--gains",
                                              "2.25,1.5",
                                              "--matrix",
                                              "0.5,0.25,0.125,0.2,0.7,0.1,0,0.1,0.9",
                                              "--exposure",
                                              "0.75"};
    struct Container {
        const char* name;
        std::vector<std::string> extra;
        const char* kind;
        uint32_t fourcc;
        int rateNumerator, rateDenominator;
    };
    const Container containers[] = {
        {"clip.mov", {}, "quicktime", kFourCCTsrn, 24, 1},
        {"clip.qt", {"--fourcc", "tsrh"}, "quicktime", kFourCCTsrh, 24, 1},
        {"clip.tsr", {}, "frames", 0, 0, 0},
    };
    for (const Container& container : containers) {
        SCOPED_TRACE(container.name);
        std::vector<std::string> arguments = options;
        arguments.insert(arguments.end(), container.extra.begin(), container.extra.end());
        arguments.insert(arguments.end(), {"-o", Path(container.name)});
        const ToolResult run = RunTool(arguments);
        ASSERT_EQ(0, run.exitCode) << run.err;
        EXPECT_EQ("", run.err);
        ClipProperties properties;
        EXPECT_EQ(expected, ReadAll(Path(container.name), &properties));
        EXPECT_EQ(container.kind, properties.container);
        EXPECT_EQ(container.fourcc, properties.fourcc);
        EXPECT_EQ(container.rateNumerator, properties.frameRateNumerator);
        EXPECT_EQ(container.rateDenominator, properties.frameRateDenominator);
        if (container.fourcc != 0) { // the track as libavformat reads it
            const FileFacts track = QuickTimeFacts(Path(container.name));
            EXPECT_EQ((std::vector<int64_t>{64, 48, container.fourcc, 3}),
                      (std::vector<int64_t>{track.width, track.height, track.codecTag, track.frames}));
            EXPECT_DOUBLE_EQ(1.0 / 24.0, track.frameSeconds);
        }
    }
    EXPECT_EQ(Concatenate(expected), ReadFile(Path("clip.tsr")));
}

TEST_F(ClipTest, WritersAndReadersRoundTripAnyFrames) {
    // Frames of different sizes and contents; the containers do not look inside beyond the size.
    EncoderSettings settings;
    std::vector<std::vector<uint8_t>> frames = SceneFrames(2, 32, 16, settings);
    settings.qScale = 1;
    const std::vector<std::vector<uint8_t>> more = SceneFrames(3, 32, 16, settings);
    frames.insert(frames.end(), more.begin(), more.end());

    ClipWriterSettings clipSettings;
    clipSettings.frameRateNumerator = 30000;
    clipSettings.frameRateDenominator = 1001;
    for (const char* name : {"a.mov", "b.frames"}) {
        SCOPED_TRACE(name);
        std::unique_ptr<ClipWriter> writer = CreateClipWriter(Path(name), clipSettings);
        for (const auto& frame : frames) writer->Append(frame);
        EXPECT_FALSE(FileExists(Path(name))) << "nothing under the final name before Finish";
        writer->Finish();
        ClipProperties properties;
        EXPECT_EQ(frames, ReadAll(Path(name), &properties));
        if (properties.container == "quicktime") {
            EXPECT_EQ(30000, properties.frameRateNumerator);
            EXPECT_EQ(1001, properties.frameRateDenominator);
            const FileFacts track = QuickTimeFacts(Path(name));
            EXPECT_EQ((std::vector<int64_t>{32, 16, kFourCCTsrn, 5}),
                      (std::vector<int64_t>{track.width, track.height, track.codecTag, track.frames}));
            EXPECT_DOUBLE_EQ(1001.0 / 30000.0, track.frameSeconds);
        }
    }
    EXPECT_EQ((std::vector<std::string>{"a.mov", "b.frames"}), Files());

    // The same boxes under an MP4 brand read alike (libavformat writes no MP4 with these types).
    std::vector<uint8_t> branded = ReadFile(Path("a.mov"));
    ASSERT_EQ(0, std::memcmp(branded.data() + 4, "ftypqt  ", 8));
    std::copy_n("isom", 4, branded.begin() + 8);
    std::copy_n("isom", 4, branded.begin() + 16);
    WriteFile(Path("c.mp4"), branded);
    EXPECT_EQ(frames, ReadAll(Path("c.mp4")));
    std::remove(Path("c.mp4").c_str());

    // A writer dropped before Finish leaves nothing at all.
    {
        std::unique_ptr<ClipWriter> writer = CreateClipWriter(Path("dropped.mov"), clipSettings);
        writer->Append(frames[0]);
    }
    EXPECT_EQ((std::vector<std::string>{"a.mov", "b.frames"}), Files());
    EXPECT_THROW(CreateClipWriter(Path("c.mp4"), clipSettings), MediaError);
}

TEST_F(ClipTest, PicturesEncodeAsTheirMosaic) {
    // A grey 16-bit picture is the mosaic itself; an RGB one is mosaiced with 0..65535 mapped to
    // black..white.
    SceneSettings scene;
    scene.width = 48;
    scene.height = 32;
    const std::vector<uint16_t> mosaic = RenderSceneMosaic(scene, 1, 0.5);
    WritePng(Path("grey.png"), 48, 32, 1, mosaic.data(), 48);
    WriteTiff(Path("grey.tif"), 48, 32, 1, mosaic.data(), 48);
    std::vector<uint16_t> rgb(48 * 32 * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint16_t>((i * 977) % 65536);
    WritePng(Path("colour.png"), 48, 32, 3, rgb.data(), 48 * 3);

    EncoderSettings settings;
    settings.bayerPattern = 1;
    settings.whiteLevelCode = 3839;
    const std::vector<uint8_t> greyFrame = EncodeFrame(mosaic.data(), 48, 32, 48, settings);
    std::vector<uint16_t> scaled(rgb.size());
    for (size_t i = 0; i < rgb.size(); ++i)
        scaled[i] = static_cast<uint16_t>(std::lround(256.0 + rgb[i] / 65535.0 * 3839.0));
    const std::vector<uint16_t> colourMosaic = MosaicRgb(scaled.data(), 48, 32, 1);
    const std::vector<uint8_t> colourFrame = EncodeFrame(colourMosaic.data(), 48, 32, 48, settings);

    const ToolResult run = RunTool({"encode", "--pattern", "1", "-o", Path("pictures.mov"), Path("grey.png"),
                                    Path("grey.tif"), Path("colour.png")});
    ASSERT_EQ(0, run.exitCode) << run.err;
    EXPECT_EQ((std::vector<std::vector<uint8_t>>{greyFrame, greyFrame, colourFrame}),
              ReadAll(Path("pictures.mov")));
}

TEST_F(ClipTest, OpenExrPicturesAndRateControl) {
    // OpenEXR values 0..1 map to black..white (clamped), then the Bayer pattern picks a channel.
    const int width = 32, height = 16;
    std::vector<float> rgba(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = static_cast<float>(i % 37) / 30.0f - 0.1f; // below 0 and above 1 too
    WriteExrFloat(Path("linear.exr"), width, height, rgba.data(), ExrCompression::Piz);
    std::vector<uint16_t> sensor(static_cast<size_t>(width) * height * 3);
    for (size_t p = 0; p < static_cast<size_t>(width) * height; ++p)
        for (size_t c = 0; c < 3; ++c) {
            const long value = std::lround(256.0 + static_cast<double>(rgba[4 * p + c]) * 1000.0);
            sensor[3 * p + c] = static_cast<uint16_t>(std::min(std::max(value, 0L), 65535L));
        }
    EncoderSettings settings;
    settings.bayerPattern = 3;
    settings.whiteLevelCode = 1000;
    const std::vector<uint16_t> mosaic = MosaicRgb(sensor.data(), width, height, 3);
    const std::vector<uint8_t> expected = EncodeFrame(mosaic.data(), width, height, width, settings);
    const ToolResult fromExr = RunTool({"encode", "--pattern", "3", "--white-level-code", "1000", "-o",
                                        Path("exr.tsr"), Path("linear.exr")});
    ASSERT_EQ(0, fromExr.exitCode) << fromExr.err;
    EXPECT_EQ(expected, ReadFile(Path("exr.tsr")));

    // Rate control picks the frame's qScale as the library does for the same target.
    EncoderSettings rated;
    rated.targetBitsPerPhotosite = 3.0;
    const std::vector<std::vector<uint8_t>> frames = SceneFrames(2, 96, 64, rated);
    const ToolResult fromScene = RunTool({"encode", "--scene", "--size", "96x64", "--count", "2",
                                          "--bits-per-photosite", "3", "-o", Path("rated.tsr")});
    ASSERT_EQ(0, fromScene.exitCode) << fromScene.err;
    EXPECT_EQ(Concatenate(frames), ReadFile(Path("rated.tsr")));
}

// Sample tables claiming up to a billion samples in a 3 KB QuickTime file, and a plain clip whose
// first frame claims 4 GB: each is read or refused without memory beyond the file's size.
TEST_F(ClipTest, AbsurdIndexCountsCostNoMemory) {
    ASSERT_EQ(
        0,
        RunTool({"encode", "--scene", "--size", "32x16", "--count", "3", "-o", Path("clip.mov")}).exitCode);
    const std::vector<uint8_t> movie = ReadFile(Path("clip.mov"));
    const long baseline = RunTool({"info", Path("clip.mov")}).peakKib;
    struct Case {
        const char* box;
        size_t offset; // of the u32 after the box type
    } cases[] = {{"stsz", 8}, {"stts", 4}, {"stts", 8}, {"stsc", 4}, {"stco", 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.box) + " +" + std::to_string(c.offset));
        std::vector<uint8_t> bytes = movie;
        const auto box = std::search(bytes.begin(), bytes.end(), c.box, c.box + 4);
        ASSERT_NE(bytes.end(), box);
        const size_t at = static_cast<size_t>(box - bytes.begin()) + 4 + c.offset;
        for (size_t k = 0; k < 4; ++k) bytes[at + k] = k == 0 ? 0x3F : 0xF0;
        WriteFile(Path("bad.mov"), bytes);
        const ToolResult run = RunTool({"info", Path("bad.mov")});
        EXPECT_EQ(0, run.signal);
        EXPECT_LT(run.peakKib - baseline, 8192);
    }
    std::vector<uint8_t> plain(64, 0);
    std::copy_n("\xFF\xFF\xFF\xF0tsrf", 8, plain.begin());
    WriteFile(Path("bad.tsr"), plain);
    const ToolResult run = RunTool({"info", Path("bad.tsr")});
    EXPECT_EQ(1, run.exitCode);
    EXPECT_NE(std::string::npos, run.out.find("truncated")) << run.out; // a damaged frame in the report
}

} // namespace
} // namespace tsr::tools::test
