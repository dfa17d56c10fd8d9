// debayer and convert against the engine's own API on PoCL: the tool's RGBA is the engine's,
// convert equals decode then debayer with and without overlap, and the picture formats carry
// those values.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/debayerer.h"
#include "media/debayersession.h"
#include "media/opencldevices.h"
#include "pictures/imagefiles.h"
#include "pictures/rgbasamples.h"
#include "support/toolerror.h"
#include "toolfixture.h"
#include "tsr/media/decodedpicture.h"

#include <ImfCompression.h>
#include <ImfPixelType.h>
#include <png.h>
#include <tiff.h>

namespace tsr::tools::test {

using namespace media;
namespace {

using DebayerTest = ToolTest;

// The engine driven directly, as the debayer transform does: host queue, memory entry point,
// an output image read back.
std::vector<uint8_t> EngineRgba(const std::vector<uint8_t>& decoded, const float* colour, unsigned curve,
                                bool isFloat) {
    TsrFrameInfoRecord record;
    std::memcpy(&record, decoded.data(), sizeof record);
    const OpenCLQueue queue(ChooseOpenCLDevice(""));
    HRESULT status = E_FAIL;
    Debayerer debayerer(queue.Queue(), &status);
    EXPECT_EQ(S_OK, status);
    EXPECT_EQ(S_OK, debayerer.SetCommandQueue(queue.Queue()));
    const size_t bytesPerPixel = isFloat ? 16 : 8;
    std::vector<uint8_t> rgba(static_cast<size_t>(record.width) * static_cast<size_t>(record.height) *
                              bytesPerPixel);
    std::shared_ptr<CLImage> output;
    const FrameGeometry geometry = {static_cast<uint32_t>(record.width), static_cast<uint32_t>(record.height),
                                    static_cast<uint32_t>(record.width * bytesPerPixel), false, true};
    const cl_image_format format = {CL_RGBA,
                                    static_cast<cl_channel_type>(isFloat ? CL_FLOAT : CL_HALF_FLOAT)};
    EXPECT_EQ(S_OK, debayerer.CreateImageFromMemory({rgba.data(), rgba.size()}, geometry, format,
                                                    CL_MEM_WRITE_ONLY, output));
    std::lock_guard<std::mutex> hold(debayerer.Mutex());
    cl_mem image = output->Acquire();
    EXPECT_EQ(0, ProcessMemory(debayerer.Processor(), decoded.data() + 116,
                               static_cast<unsigned>(decoded.size() - 116), &record, 116, colour, curve,
                               debayerer.HostQueue(), image));
    output->Release();
    return rgba;
}

TEST_F(DebayerTest, RgbaIsTheEnginesAndConvertEqualsDecodeThenDebayer) {
    EncoderSettings settings;
    settings.bayerPattern = 1;
    settings.gain0 = 1.8f;
    settings.gain1 = 1.3f;
    settings.colorMatrix = {0.41f, 0.36f, 0.18f, 0.21f, 0.72f, 0.07f, 0.02f, 0.12f, 0.95f};
    const std::vector<std::vector<uint8_t>> frames = SceneFrames(3, 48, 32, settings);
    WriteFile(Path("clip.tsr"), Concatenate(frames));
    const float colour[12] = {2.0f,  1.5f,  0.41f, 0.36f, 0.18f, 0.21f,
                              0.72f, 0.07f, 0.02f, 0.12f, 0.95f, 1.1f};
    const std::string colourText = "2,1.5,0.41,0.36,0.18,0.21,0.72,0.07,0.02,0.12,0.95,1.1";

    struct Case {
        int scale;
        unsigned curve;
        bool isFloat;
        bool override;
    };
    const Case cases[] = {{0, 1, false, false}, {0, 3, true, true}, {1, 0, true, false}, {2, 6, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE("scale " + std::to_string(c.scale) + ", curve " + std::to_string(c.curve));
        const std::string scale = std::to_string(c.scale);
        ASSERT_EQ(0, RunTool({"decode", "--scale", scale, "-o", Path("d.raw"), Path("clip.tsr")}).exitCode);
        std::vector<std::string> engine = {"--curve",  std::to_string(c.curve),
                                           "--type",   c.isFloat ? "float" : "half",
                                           "--format", "raw",
                                           "--engine", "opencl"};
        if (c.override) engine.insert(engine.end(), {"--colour", colourText});

        std::vector<std::string> debayer = {"debayer", "--engine",       "opencl",
                                            "-o",      Path("rgba.raw"), Path("d.raw")};
        debayer.insert(debayer.end(), engine.begin(), engine.end());
        const ToolResult debayered = RunTool(debayer);
        ASSERT_EQ(0, debayered.exitCode) << debayered.err;
        const std::vector<uint8_t> fromDebayer = ReadFile(Path("rgba.raw"));

        // The engine itself on the same decoded bytes, frame by frame.
        const std::vector<uint8_t> decoded = ReadFile(Path("d.raw"));
        const size_t each = decoded.size() / frames.size();
        std::vector<uint8_t> expected;
        for (size_t f = 0; f < frames.size(); ++f) {
            const std::vector<uint8_t> one(decoded.begin() + static_cast<std::ptrdiff_t>(f * each),
                                           decoded.begin() + static_cast<std::ptrdiff_t>((f + 1) * each));
            const std::vector<uint8_t> rgba =
                EngineRgba(one, c.override ? colour : nullptr, c.curve, c.isFloat);
            expected.insert(expected.end(), rgba.begin(), rgba.end());
        }
        EXPECT_EQ(expected, fromDebayer);

        for (const char* overlap : {"--no-overlap", "--threads=1"}) {
            std::vector<std::string> convert = {"convert", "--engine", "opencl",      "--scale",       scale,
                                                overlap,   "-o",       Path("c.raw"), Path("clip.tsr")};
            convert.insert(convert.end(), engine.begin(), engine.end());
            const ToolResult converted = RunTool(convert);
            ASSERT_EQ(0, converted.exitCode) << converted.err;
            EXPECT_EQ(expected, ReadFile(Path("c.raw"))) << overlap;
        }

        // The CPU engine, chosen or taken by auto on a machine without OpenCL, within the chain's
        // tolerance of the OpenCL engine.
        const std::vector<std::string> noOpenCL = {"OCL_ICD_VENDORS=" + Path("no-opencl"),
                                                   "OCL_ICD_FILENAMES="};
        for (const char* choice : {"cpu", "auto"}) {
            std::vector<std::string> convert = {"convert", "--scale",       scale,
                                                "-o",      Path("cpu.raw"), Path("clip.tsr")};
            convert.insert(convert.end(), engine.begin(), engine.end());
            convert.insert(convert.end(), {"--engine", choice, "--threads", "3"});
            const ToolResult converted = RunTool(convert, noOpenCL);
            ASSERT_EQ(0, converted.exitCode) << converted.err;
            RgbaFrame cpu, opencl;
            cpu.isFloat = opencl.isFloat = c.isFloat;
            cpu.bytes = ReadFile(Path("cpu.raw"));
            opencl.bytes = expected;
            ASSERT_EQ(opencl.bytes.size(), cpu.bytes.size());
            float worst = 0.0f;
            for (size_t i = 0; i < cpu.bytes.size() / (c.isFloat ? 4 : 2); ++i)
                worst = std::max(worst, std::fabs(RgbaSample(cpu, i) - RgbaSample(opencl, i)));
            EXPECT_LE(worst, c.isFloat ? 5e-5f : 2e-3f) << choice;
        }
    }
}

// A failing frame is reported with the status table's text; a tuning value reaches the engine
// of the session it is given to (20202: one timing line a frame), whatever the environment says.
TEST_F(DebayerTest, SessionReportsTheTablesTextAndTakesItsTuning) {
    EncoderSettings settings;
    WriteFile(Path("frame.tsr"), SceneFrames(1, 32, 16, settings)[0]);
    ASSERT_EQ(0, RunTool({"decode", "-o", Path("d.raw"), Path("frame.tsr")}).exitCode);
    const std::vector<uint8_t> decoded = ReadFile(Path("d.raw"));
    const OpenCLDevice device = ChooseOpenCLDevice("");

    const struct {
        int rowPitchChange, widthChange;
        int status;
    } cases[] = {{2, 0, kStatusBadHostMemory}, {0, -2, kStatusBadOutput}};
    DebayerSession session(device);
    for (const auto& c : cases) {
        DecodedPicture picture;
        picture.Adopt(decoded.data(), decoded.size(), "d.raw");
        // The record after the tool's own checks, as a corrupt one would reach the engine.
        auto* record = reinterpret_cast<TsrFrameInfoRecord*>(picture.Picture() - TSR_FRAME_INFO_RECORD_SIZE);
        record->rowPitch += c.rowPitchChange;
        record->width += c.widthChange;
        RgbaFrame frame;
        try {
            session.Process(picture, DebayerSettings(), frame);
            ADD_FAILURE() << c.status << " not reported";
        } catch (const MediaError& error) {
            const std::string text = error.what();
            EXPECT_NE(std::string::npos, text.find(StatusMessage(c.status))) << text;
            EXPECT_NE(std::string::npos, text.find(std::to_string(c.status))) << text;
            EXPECT_EQ(MediaError::Kind::Engine, error.ErrorKind());
            EXPECT_EQ(c.status, error.Code());
            EXPECT_EQ(StatusName(c.status), error.CodeName());
        }
    }

    DecodedPicture picture;
    picture.Adopt(decoded.data(), decoded.size(), "d.raw");
    for (const int tuning : {20202, 0}) {
        DebayerSession tuned(device, tuning);
        RgbaFrame frame;
        ::testing::internal::CaptureStdout();
        tuned.Process(picture, DebayerSettings(), frame);
        const std::string printed = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(tuning == 20202, printed.find("GPU upload and raw conversion:") == 0) << printed;
    }
}

TEST_F(DebayerTest, PictureFormatsCarryTheEngineValues) {
    EncoderSettings settings;
    WriteFile(Path("frame.tsr"), SceneFrames(1, 32, 16, settings)[0]);
    for (const char* type : {"half", "float"}) {
        SCOPED_TRACE(type);
        const ToolResult raw =
            RunTool({"convert", "--type", type, "--curve", "0", "-o", Path("f.raw"), Path("frame.tsr")});
        ASSERT_EQ(0, raw.exitCode) << raw.err;
        const ToolResult exr = RunTool({"convert", "--type", type, "--curve", "0", "--exr-compression", "piz",
                                        "-o", Path("f.exr"), Path("frame.tsr")});
        ASSERT_EQ(0, exr.exitCode) << exr.err;
        const ToolResult tiff =
            RunTool({"convert", "--type", type, "--curve", "0", "-o", Path("f.tif"), Path("frame.tsr")});
        ASSERT_EQ(0, tiff.exitCode) << tiff.err;
        const ToolResult preview = RunTool({"convert", "--type", type, "--curve", "0", "--format", "preview",
                                            "-o", Path("p.png"), Path("frame.tsr")});
        ASSERT_EQ(0, preview.exitCode) << preview.err;

        RgbaFrame frame;
        frame.width = 32;
        frame.height = 16;
        frame.isFloat = std::string(type) == "float";
        frame.curve = 0;
        frame.bytes = ReadFile(Path("f.raw"));
        ASSERT_EQ(32u * 16u * frame.BytesPerPixel(), frame.bytes.size());
        // The headers, as the formats' own libraries read them.
        const bool isFloat = std::string(type) == "float";
        const FileFacts exrFacts = ExrFacts(Path("f.exr"));
        EXPECT_EQ(32, exrFacts.width);
        EXPECT_EQ(16, exrFacts.height);
        EXPECT_EQ("ABGR", exrFacts.channelNames);
        EXPECT_EQ(isFloat ? Imf::FLOAT : Imf::HALF, exrFacts.pixelType);
        EXPECT_EQ(Imf::PIZ_COMPRESSION, exrFacts.compression);
        EXPECT_TRUE(exrFacts.chromaticities.empty()) << "BT.709 needs no chromaticities";
        const ToolResult bt2020 = RunTool({"convert", "--type", type, "--curve", "1", "--exr-compression",
                                           "rle", "-o", Path("g.exr"), Path("frame.tsr")});
        ASSERT_EQ(0, bt2020.exitCode) << bt2020.err;
        const FileFacts bt2020Facts = ExrFacts(Path("g.exr"));
        EXPECT_EQ(Imf::RLE_COMPRESSION, bt2020Facts.compression);
        // ITU-R BT.2020 primaries and the D65 white point.
        EXPECT_EQ((std::vector<float>{0.708f, 0.292f, 0.170f, 0.797f, 0.131f, 0.046f, 0.3127f, 0.3290f}),
                  bt2020Facts.chromaticities);
        const FileFacts tiffFacts = TiffFacts(Path("f.tif"));
        EXPECT_EQ((std::vector<int>{32, 16, 3, 16, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT, COMPRESSION_NONE, 0}),
                  (std::vector<int>{tiffFacts.width, tiffFacts.height, tiffFacts.channels, tiffFacts.bits,
                                    tiffFacts.kind, tiffFacts.sampleFormat, tiffFacts.compression,
                                    tiffFacts.extraSamples}));
        const FileFacts pngFacts = PngFacts(Path("p.png"));
        EXPECT_EQ((std::vector<int>{32, 16, 3, 8, PNG_COLOR_TYPE_RGB}),
                  (std::vector<int>{pngFacts.width, pngFacts.height, pngFacts.channels, pngFacts.bits,
                                    pngFacts.kind}));

        const PictureFloat fromExr = ReadExr(Path("f.exr"));
        const Picture16 fromTiff = ReadTiff(Path("f.tif"));
        const Picture16 fromPreview = ReadPng(Path("p.png"));
        ASSERT_EQ(3, fromExr.channels);
        ASSERT_EQ(3, fromTiff.channels);
        ASSERT_EQ(3, fromPreview.channels);
        for (size_t p = 0; p < 32 * 16; ++p)
            for (size_t c = 0; c < 3; ++c) {
                const float value = RgbaSample(frame, 4 * p + c);
                ASSERT_EQ(value, fromExr.samples[3 * p + c]) << "pixel " << p; // exact: same half or float
                const float clamped = std::min(std::max(value, 0.0f), 1.0f);
                ASSERT_EQ(std::lround(clamped * 65535.0f), fromTiff.samples[3 * p + c]);
                // The preview's table is within one step of the exact display value.
                ASSERT_NEAR(PreviewValue(value, true) * 257, fromPreview.samples[3 * p + c], 257);
            }
    }
}

TEST_F(DebayerTest, DemoNeedsOnlyAFolder) {
    const ToolResult run = RunTool({"demo", "--size", "64x32", "--count", "2", Path("demo/out")});
    ASSERT_EQ(0, run.exitCode) << run.err;
    EXPECT_EQ("", run.err);
    const ToolResult info = RunTool({"info", "--json", Path("demo/out/scene.mov")});
    EXPECT_NE(std::string::npos, info.out.find("\"frameCount\": 2"));
    EXPECT_NE(std::string::npos, info.out.find("\"width\": 64"));
    struct Size {
        const char* folder;
        int width, height;
    };
    for (const Size& size : {Size{"full", 64, 32}, Size{"half", 32, 16}, Size{"quarter", 16, 8}}) {
        for (const char* frame : {"0000", "0001"}) {
            SCOPED_TRACE(std::string(size.folder) + " " + frame);
            const std::string stem = Path("demo/out/") + size.folder + "/";
            const PictureFloat exr = ReadExr(stem + "frame_" + frame + ".exr");
            EXPECT_EQ(size.width, exr.width);
            EXPECT_EQ(size.height, exr.height);
            const Picture16 preview = ReadPng(stem + "preview_" + frame + ".png");
            EXPECT_EQ(size.width, preview.width);
            EXPECT_EQ(size.height, preview.height);
        }
    }
}

// The CPU engine is listed, with its SIMD target, and is what auto takes while the only OpenCL
// device is a CPU (PoCL) or there is no OpenCL at all.
TEST_F(DebayerTest, DevicesListTheCpuEngine) {
    const std::vector<std::string> noOpenCL = {"OCL_ICD_VENDORS=" + Path("no-opencl"), "OCL_ICD_FILENAMES="};
    for (bool withOpenCL : {true, false}) {
        const ToolResult run = RunTool({"devices"}, withOpenCL ? std::vector<std::string>{} : noOpenCL);
        ASSERT_EQ(0, run.exitCode) << run.err;
        const std::string firstLine = run.out.substr(0, run.out.find('\n'));
        EXPECT_EQ(0u, firstLine.find("CPU engine: ")) << run.out;
        EXPECT_NE(std::string::npos, firstLine.find(" SIMD (built: ")) << run.out;
        EXPECT_NE(std::string::npos, firstLine.find("[auto]")) << run.out;
        EXPECT_EQ(withOpenCL, run.out.find("platform 0: ") != std::string::npos) << run.out;
    }
}

} // namespace
} // namespace tsr::tools::test
