// decode and info against the frame decoder's own API: byte-identical raw buffers at every scale,
// pictures holding the decoder's samples, frame ranges, and records in the JSON report.
#include <cstring>

#include "../decoder/framebuilder.h"
#include "encoder/framefaults.h"
#include "pictures/imagefiles.h"
#include "toolfixture.h"

#include "tsr/framedecoder.h"
#include <png.h>
#include <tiff.h>

namespace tsr::tools::test {
namespace {

using DecodeTest = ToolTest;

// What `decode --format raw` must write for one frame: the record, then the picture at the
// minimum pitch (bytes the writers leave alone are zero).
std::vector<uint8_t> LibraryDecode(const std::vector<uint8_t>& frame, int width, int height, int scale) {
    const int pitch = frameDecoderMinRowPitch(width, scale);
    std::vector<uint8_t> buffer(116 + static_cast<size_t>(pitch) * static_cast<size_t>(height >> scale), 0);
    FrameDecoderHandle decoder = frameDecoderCreate(2);
    const int result =
        frameDecoderDecode(decoder, frame.data(), static_cast<int>(frame.size()), buffer.data() + 116,
                           static_cast<int>(buffer.size() - 116), pitch, buffer.data(), 116, scale);
    frameDecoderDestroy(decoder);
    EXPECT_EQ(0, result);
    return buffer;
}

TEST_F(DecodeTest, RawOutputIsTheDecodersAtEveryScale) {
    // 72 x 40 leaves partial macroblocks on the right and at the bottom.
    EncoderSettings settings;
    settings.bayerPattern = 3;
    settings.log2SliceWidth = 2;
    const std::vector<std::vector<uint8_t>> frames = SceneFrames(3, 72, 40, settings);
    WriteFile(Path("clip.tsr"), Concatenate(frames));
    for (int scale = 0; scale <= 3; ++scale) {
        SCOPED_TRACE(scale);
        const std::string name = "scale" + std::to_string(scale) + ".raw";
        const ToolResult run = RunTool({"decode", "--scale", std::to_string(scale), "--threads", "2", "-o",
                                        Path(name), Path("clip.tsr")});
        ASSERT_EQ(0, run.exitCode) << run.err;
        std::vector<uint8_t> expected;
        for (const auto& frame : frames) {
            const std::vector<uint8_t> one = LibraryDecode(frame, 72, 40, scale);
            expected.insert(expected.end(), one.begin(), one.end());
        }
        EXPECT_EQ(expected, ReadFile(Path(name)));
    }

    // A range, one file per frame, named by the frame's index in the clip.
    const ToolResult ranged =
        RunTool({"decode", "--frames", "1-", "--scale", "1", "-o", Path("f%d.raw"), Path("clip.tsr")});
    ASSERT_EQ(0, ranged.exitCode) << ranged.err;
    EXPECT_FALSE(FileExists(Path("f0.raw")));
    EXPECT_EQ(LibraryDecode(frames[1], 72, 40, 1), ReadFile(Path("f1.raw")));
    EXPECT_EQ(LibraryDecode(frames[2], 72, 40, 1), ReadFile(Path("f2.raw")));
}

TEST_F(DecodeTest, PicturesHoldTheDecodedSamples) {
    EncoderSettings settings;
    const std::vector<std::vector<uint8_t>> frames = SceneFrames(1, 64, 32, settings);
    WriteFile(Path("frame.tsr"), frames[0]);
    struct Case {
        const char* name;
        int scale;
        int channels;
    };
    const Case cases[] = {
        {"m.png", 0, 1}, {"m.tif", 0, 1}, {"q.png", 2, 4}, {"q.tiff", 2, 4}, {"h.png", 1, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolResult run =
            RunTool({"decode", "--scale", std::to_string(c.scale), "-o", Path(c.name), Path("frame.tsr")});
        ASSERT_EQ(0, run.exitCode) << run.err;
        const Picture16 picture = std::string(c.name).find(".png") != std::string::npos
                                      ? ReadPng(Path(c.name))
                                      : ReadTiff(Path(c.name));
        ASSERT_EQ(64 >> c.scale, picture.width);
        ASSERT_EQ(32 >> c.scale, picture.height);
        ASSERT_EQ(c.channels, picture.channels);
        // The header as the format's own library reads it: 16-bit grey or RGBA with unassociated alpha.
        const bool png = std::string(c.name).find(".png") != std::string::npos;
        const FileFacts facts = png ? PngFacts(Path(c.name)) : TiffFacts(Path(c.name));
        EXPECT_EQ(picture.width, facts.width);
        EXPECT_EQ(picture.height, facts.height);
        EXPECT_EQ(c.channels, facts.channels);
        EXPECT_EQ(16, facts.bits);
        if (png) {
            EXPECT_EQ(c.channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB_ALPHA, facts.kind);
        } else {
            EXPECT_EQ(c.channels == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB, facts.kind);
            EXPECT_EQ(c.channels == 4 ? EXTRASAMPLE_UNASSALPHA : 0, facts.extraSamples);
            EXPECT_EQ(SAMPLEFORMAT_UINT, facts.sampleFormat);
        }
        const std::vector<uint8_t> raw = LibraryDecode(frames[0], 64, 32, c.scale);
        const size_t pitch = static_cast<size_t>(frameDecoderMinRowPitch(64, c.scale));
        const size_t rowBytes = static_cast<size_t>(picture.width * c.channels) * 2;
        for (int y = 0; y < picture.height; ++y)
            ASSERT_EQ(0,
                      std::memcmp(raw.data() + 116 + pitch * static_cast<size_t>(y),
                                  picture.samples.data() + rowBytes / 2 * static_cast<size_t>(y), rowBytes))
                << "row " << y;
    }
}

TEST_F(DecodeTest, InfoReportsHeaderPartitionSlicesAndRecords) {
    EncoderSettings settings;
    settings.log2SliceWidth = 2;
    settings.sliceQScale = {4, 9, 2};
    settings.gain0 = 1.75f;
    settings.infoBytes = {1, 2, 3, 250};
    settings.bayerPatternHighBits = 0xFFFC;
    settings.bayerPattern = 3;
    // 1000 photosites wide: 63 macroblocks, slices of 4 x 15, 2, 1 per row.
    const std::vector<std::vector<uint8_t>> frames = SceneFrames(1, 1000, 16, settings);
    WriteFile(Path("wide.tsr"), frames[0]);
    const ToolResult run = RunTool({"info", "--json", "--scale", "2", Path("wide.tsr")});
    ASSERT_EQ(0, run.exitCode) << run.err;
    const std::string& json = run.out;
    for (const char* expected :
         {"\"frameCount\": 1", "\"valid\": true", "\"width\": 1000", "\"mbWidth\": 63",
          "\"slicesPerRow\": 17", "\"sliceCount\": 17", "\"bayerPatternWord\": 65535", "\"minQScale\": 2",
          "\"maxQScale\": 9", "\"maxDcStep\": 9", "\"infoBytes\": [1, 2, 3, 250]", "\"gain0\": 1.75",
          "\"layout\": \"bp64\"", "\"sampleOffsets\": [0.125, 0.125, 0.125, -0.125, -0.125, -0.125, 0, 0]",
          "\"width\": 250"}) {
        EXPECT_NE(std::string::npos, json.find(expected)) << expected << "\n" << json;
    }

    const ToolResult text = RunTool({"info", Path("wide.tsr")});
    ASSERT_EQ(0, text.exitCode) << text.err;
    EXPECT_NE(std::string::npos,
              text.out.find("frame 0: " + std::to_string(frames[0].size()) + " bytes, valid"));
    EXPECT_NE(std::string::npos,
              text.out.find("63 x 1 macroblocks, 17 slices per row (widths 4 4 4 4 4 4 4 4 4 4 4 "
                            "4 4 4 4 2 1)"));
}

TEST_F(DecodeTest, InfoShowsBrokenFramesAndExitsNonZero) {
    // A frame the decoder rejects, one whose header claims a picture its bytes cannot hold and one
    // above --max-pixels: info still reports what each header says, why the frame does not
    // decode, and exits 1 (like decode) with one line on standard error.
    EncoderSettings settings;
    std::vector<std::vector<uint8_t>> frames = SceneFrames(3, 32, 16, settings);
    ASSERT_TRUE(faults::SetVersion(frames[1], 9));
    ASSERT_TRUE(faults::SetWidth(frames[2], 65534));
    ASSERT_TRUE(faults::SetHeight(frames[2], 65534));
    WriteFile(Path("clip.tsr"), Concatenate(frames));
    const ToolResult run = RunTool({"info", "--all", Path("clip.tsr")});
    EXPECT_EQ(1, run.exitCode);
    EXPECT_EQ(std::vector<std::string>{"tsrraw: 2 of 3 frames looked at are damaged"}, run.ErrorLines());
    EXPECT_NE(std::string::npos,
              run.out.find("frame 1: " + std::to_string(frames[1].size()) +
                           " bytes, invalid frame (-2)\n  header: frameSize " +
                           std::to_string(frames[1].size()) + ", headerSize 72, version 9"));
    EXPECT_NE(std::string::npos, run.out.find("65534 x 65534 photosites"));
    // 4096 slices per row are shown as runs, not one by one.
    EXPECT_NE(std::string::npos, run.out.find("(widths 8 x512), 2097152 slices")) << run.out;
    const ToolResult capped = RunTool({"info", "--max-pixels", "500", "--frames", "0", Path("clip.tsr")});
    EXPECT_EQ(1, capped.exitCode);
    EXPECT_NE(
        std::string::npos,
        capped.out.find("frame 0: " + std::to_string(frames[0].size()) +
                        " bytes, bad arguments (-3)\n"
                        "  a 32x16 picture has more than 500 pixels (raise the limit with --max-pixels)"));
    EXPECT_EQ(0, RunTool({"info", "--max-pixels", "512", "--frames", "0", Path("clip.tsr")}).exitCode);
    const ToolResult json = RunTool({"info", "--json", "--frames", "1", Path("clip.tsr")});
    EXPECT_EQ(1, json.exitCode);
    EXPECT_NE(std::string::npos, json.out.find("\"valid\": false"));
    EXPECT_EQ(std::string::npos, json.out.find("frameInfoRecord"));
}

// A 2.5 KB frame claiming 65534 x 65534 photosites is refused at every scale without taking the
// memory its header claims: the peak stays within a few MB of a run on a tiny valid frame.
TEST_F(DecodeTest, HugeClaimInATinyFrameCostsNoMemory) {
    EncoderSettings settings;
    WriteFile(Path("small.tsr"), SceneFrames(1, 32, 16, settings)[0]);
    for (int log2SliceWidth : {0, 1}) {
        WriteFile(Path("huge.tsr"), tsr::test::HugeClaimFrame(log2SliceWidth));
        for (int scale = 0; scale <= 3; ++scale) {
            const std::string s = std::to_string(scale);
            const long baseline =
                RunTool({"decode", "--scale", s, "-o", Path("small.raw"), Path("small.tsr")}).peakKib;
            for (const char* command : {"decode", "info"}) {
                SCOPED_TRACE(std::string(command) + " log2SliceWidth " + std::to_string(log2SliceWidth) +
                             " scale " + s);
                std::vector<std::string> arguments = {command, "--scale", s, Path("huge.tsr")};
                if (arguments[0] == "decode") arguments.insert(arguments.end(), {"-o", Path("huge.raw")});
                const ToolResult run = RunTool(arguments);
                EXPECT_EQ(1, run.exitCode);
                EXPECT_NE(std::string::npos, (run.out + run.err).find("invalid frame (-2)"));
                EXPECT_LT(run.peakKib - baseline, 4096);
            }
        }
    }
}

} // namespace
} // namespace tsr::tools::test
