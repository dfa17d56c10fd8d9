// The plug-in as OpenImageIO loads it: tesselraw.imageio.so from the build tree, found through the
// plugin search path, against clips made by the encoder and pixels made by the engine directly.
#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "encoder/frameencoder.h"
#include "encoder/framefaults.h"
#include "encoder/syntheticscene.h"
#include "tsr/framedecoder.h"
#include "tsr/media/clip.h"
#include "tsr/media/decodedpicture.h"
#include "tsr/media/frames.h"
#include "tsr/media/rgbaengine.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> SceneFrames(int count, int width, int height, const tsr::EncoderSettings& settings) {
    tsr::SceneSettings scene;
    scene.width = width;
    scene.height = height;
    std::vector<Bytes> frames;
    for (int i = 0; i < count; ++i) {
        const std::vector<uint16_t> mosaic = tsr::RenderSceneMosaic(scene, settings.bayerPattern, i / 24.0);
        frames.push_back(tsr::EncodeFrame(mosaic.data(), width, height, width, settings));
    }
    return frames;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// ".mov": QuickTime; anything else frames back to back.
void WriteClip(const std::string& path, const std::vector<Bytes>& frames, int rate = 24,
               const std::string& timecode = "") {
    tsr::media::ClipWriterSettings settings;
    settings.frameRateNumerator = rate;
    settings.timecode = timecode;
    auto writer = tsr::media::CreateClipWriter(path, settings);
    for (const Bytes& frame : frames) writer->Append(frame);
    writer->Finish();
}

// The CPU engine's RGBA for a frame, made without the plug-in.
Bytes EngineRgba(const Bytes& frame, int scaleIndex, unsigned curve, bool isFloat) {
    tsr::media::FrameDecoder decoder;
    tsr::media::DecodedPicture picture;
    decoder.Decode(frame, 0, scaleIndex, picture);
    tsr::media::EngineChoice choice;
    choice.engine = "cpu";
    tsr::media::DebayerSettings settings;
    settings.curve = curve;
    settings.floatOutput = isFloat;
    tsr::media::RgbaFrame rgba;
    tsr::media::OpenEngine(choice)->Process(picture, settings, rgba);
    return rgba.bytes;
}

class OiioPluginTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { OIIO::attribute("plugin_searchpath", TSR_OIIO_PLUGIN_DIR); }

    void SetUp() override {
        char pattern[] = "/tmp/tsr-oiio-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_folder = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + m_folder + "'").c_str()); }
    std::string Path(const std::string& name) const { return m_folder + "/" + name; }

    // Opens through OIIO's own choice of reader, with `config` hints.
    static std::unique_ptr<OIIO::ImageInput> Open(const std::string& path,
                                                  const OIIO::ImageSpec& config = {}) {
        return OIIO::ImageInput::open(path, &config);
    }

    std::string m_folder;
};

// The first bytes and the atom headers decide; names and extensions do not.
TEST_F(OiioPluginTest, ValidFileTellsTesselRawByContent) {
    const std::vector<Bytes> frames = SceneFrames(2, 64, 32, {});
    WriteFile(Path("frame.png"), frames[0]); // a frame under another name
    WriteClip(Path("clip.tsr"), frames);
    WriteClip(Path("clip.mov"), frames);
    const Bytes mov = ReadFile(Path("clip.mov"));
    auto withSampleType = [&](const char* type) {
        Bytes bytes = mov;
        const char tsrn[] = "tsrn";
        const auto at = std::search(bytes.begin(), bytes.end(), tsrn, tsrn + 4);
        EXPECT_NE(at, bytes.end());
        if (at != bytes.end()) std::copy(type, type + 4, at);
        return bytes;
    };
    WriteFile(Path("tsrh.mov"), withSampleType("tsrh"));
    WriteFile(Path("other.mov"), withSampleType("avc1")); // the same clip, another sample type
    // A hand-made QuickTime file: a 64-bit mdat before the moov, the sample entry deep inside.
    auto atom = [](const char* type, const Bytes& body) {
        const uint32_t size = static_cast<uint32_t>(body.size() + 8);
        Bytes out(8 + body.size());
        for (int i = 0; i < 4; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (24 - 8 * i));
        std::memcpy(out.data() + 4, type, 4);
        std::copy(body.begin(), body.end(), out.begin() + 8);
        return out;
    };
    Bytes entry = atom("tsrn", Bytes(78, 0));
    Bytes stsd = {0, 0, 0, 0, 0, 0, 0, 1};
    stsd.insert(stsd.end(), entry.begin(), entry.end());
    const Bytes moov =
        atom("moov", atom("trak", atom("mdia", atom("minf", atom("stbl", atom("stsd", stsd))))));
    Bytes handMade = atom("ftyp", {'q', 't', ' ', ' ', 0, 0, 0, 0});
    const Bytes mdat64 = {0, 0, 0, 1, 'm', 'd', 'a', 't', 0, 0, 0, 0, 0, 0, 0, 20, 1, 2, 3, 4};
    handMade.insert(handMade.end(), mdat64.begin(), mdat64.end());
    handMade.insert(handMade.end(), moov.begin(), moov.end());
    WriteFile(Path("handmade.mov"), handMade);
    Bytes cutShort(handMade.begin(), handMade.end() - 40); // the moov claims more than is there
    WriteFile(Path("cut.mov"), cutShort);
    WriteFile(Path("empty.tsr"), {});

    const struct {
        const char* name;
        bool valid;
    } cases[] = {{"frame.png", true}, {"clip.tsr", true},     {"clip.mov", true},
                 {"tsrh.mov", true},  {"handmade.mov", true}, {"other.mov", false},
                 {"cut.mov", false},  {"empty.tsr", false},   {"missing.tsr", false}};
    auto reader = OIIO::ImageInput::create("tesselraw");
    ASSERT_TRUE(reader);
    for (const auto& c : cases) EXPECT_EQ(reader->valid_file(Path(c.name)), c.valid) << c.name;
}

// Frame count, rate, time code per frame, the colour space and both records, at full size and
// downscaled; the info record is exactly what the decoder writes for the frame.
TEST_F(OiioPluginTest, SpecCarriesTheClipAndBothRecordsOfEachFrame) {
    tsr::EncoderSettings settings;
    settings.bayerPattern = 2;
    settings.gain0 = 2.0f;
    settings.gain1 = 1.5f;
    settings.colorMatrix = {0.5f, 0.25f, 0, 0, 1, 0, 0.125f, 0, 2};
    settings.infoBytes = {1, 2, 3, 4};
    settings.sliceQScale = {9, 3};
    const std::vector<Bytes> frames = SceneFrames(3, 96, 48, settings);
    WriteClip(Path("clip.mov"), frames, 25, "10:20:30:04");
    // OIIO 2.4 gives a .mov name to its FFmpeg reader alone whenever it opens with hints (and
    // in its image cache); only a plain open goes on to the other readers. A .tsr name reaches
    // this reader either way.
    auto plain = OIIO::ImageInput::open(Path("clip.mov"));
    ASSERT_TRUE(plain) << OIIO::geterror();
    EXPECT_STREQ(plain->format_name(), "tesselraw");
    ASSERT_EQ(symlink(Path("clip.mov").c_str(), Path("quicktime.tsr").c_str()), 0);

    for (const int downscale : {1, 2, 8}) {
        SCOPED_TRACE(downscale);
        const int scaleIndex = downscale == 1 ? 0 : downscale == 2 ? 1 : 3;
        OIIO::ImageSpec config;
        config.attribute("tesselraw:downscale", downscale);
        auto in = Open(Path("quicktime.tsr"), config);
        ASSERT_TRUE(in) << OIIO::geterror();
        const OIIO::ImageSpec spec = in->spec(2);
        EXPECT_EQ(spec.width, 96 / downscale);
        EXPECT_EQ(spec.height, 48 / downscale);
        EXPECT_EQ(spec.nchannels, 4);
        EXPECT_EQ(spec.format, OIIO::TypeHalf);
        EXPECT_EQ(spec.alpha_channel, 3);
        EXPECT_EQ(spec.get_int_attribute("oiio:subimages"), 3);
        EXPECT_EQ(spec.get_int_attribute("oiio:Movie"), 1);
        EXPECT_EQ(spec.get_string_attribute("oiio:ColorSpace"), "lin_rec2020");
        EXPECT_EQ(spec.get_float_attribute("PixelAspectRatio"), 1.0f);
        int rate[2] = {};
        ASSERT_TRUE(spec.getattribute("FramesPerSecond", OIIO::TypeRational, rate));
        EXPECT_EQ(rate[0], 25);
        EXPECT_EQ(rate[1], 1);
        uint32_t timecode[2] = {};
        ASSERT_TRUE(spec.getattribute("smpte:TimeCode", OIIO::TypeTimeCode, timecode));
        EXPECT_EQ(timecode[0], 0x10203006u); // frame 2: two frames after 10:20:30:04

        float matrix[9] = {};
        ASSERT_TRUE(spec.getattribute("tesselraw:metadataRecord:colorMatrix", OIIO::TypeMatrix33, matrix));
        EXPECT_EQ(std::vector<float>(matrix, matrix + 9),
                  std::vector<float>(settings.colorMatrix.begin(), settings.colorMatrix.end()));
        int infoBytes[4] = {};
        ASSERT_TRUE(spec.getattribute("tesselraw:metadataRecord:infoBytes",
                                      OIIO::TypeDesc(OIIO::TypeDesc::INT, 4), infoBytes));
        EXPECT_EQ(infoBytes[3], 4);
        EXPECT_EQ(spec.get_float_attribute("tesselraw:metadataRecord:gain0"), 2.0f);

        // The decoder's own record for frame 2 at this scale.
        const Bytes& frame = frames[2];
        const int pitch = frameDecoderMinRowPitch(96, scaleIndex);
        Bytes picture(static_cast<size_t>(pitch) * static_cast<size_t>(48 >> scaleIndex));
        TsrFrameInfoRecord record{};
        FrameDecoderHandle decoder = frameDecoderCreate(1);
        ASSERT_EQ(frameDecoderDecode(decoder, frame.data(), static_cast<int>(frame.size()), picture.data(),
                                     static_cast<int>(picture.size()), pitch, &record, sizeof record,
                                     scaleIndex),
                  FRAME_DECODER_OK);
        frameDecoderDestroy(decoder);
        const std::string prefix = "tesselraw:frameInfoRecord:";
        EXPECT_EQ(spec.get_int_attribute(prefix + "rowPitch"), record.rowPitch);
        EXPECT_EQ(spec.get_string_attribute(prefix + "layoutCode"), scaleIndex == 0 ? "bp16" : "bp64");
        EXPECT_EQ(spec.get_int_attribute(prefix + "width"), record.width);
        EXPECT_EQ(spec.get_int_attribute(prefix + "bayerPattern"), 2);
        EXPECT_EQ(spec.get_int_attribute(prefix + "whiteLevel"), record.whiteLevel);
        EXPECT_EQ(spec.get_int_attribute(prefix + "maxDcStep"), record.maxDcStep);
        EXPECT_EQ(record.maxDcStep, 9); // the largest slice quantiser times weight 0 (1 by default)
        EXPECT_EQ(spec.get_float_attribute(prefix + "gain1"), record.gain1);
        float offsets[8] = {};
        ASSERT_TRUE(
            spec.getattribute(prefix + "sampleOffsets", OIIO::TypeDesc(OIIO::TypeDesc::FLOAT, 8), offsets));
        EXPECT_EQ(std::memcmp(offsets, record.sampleOffsets, sizeof offsets), 0);
    }
}

TEST_F(OiioPluginTest, ColourSpaceIsNamedForTheCurveAndPrimaries) {
    WriteClip(Path("frame.tsr"), SceneFrames(1, 64, 32, {}));
    const struct {
        const char* hint; // as a string: a number or a name
        int curve;
        const char* name;
    } cases[] = {{"0", 0, "lin_rec709"},   {"1", 1, "lin_rec2020"},
                 {"2", 2, "hlg_rec2020"},  {"3", 3, "canonlog2_rec2020"},
                 {"5", 5, "nlog_rec2020"}, {"4", 4, "log1_rec2020"},
                 {"8", 8, "log4_rec2020"}, {"nlog_rec2020", 5, "nlog_rec2020"}};
    for (const auto& c : cases) {
        OIIO::ImageSpec config;
        config.attribute("tesselraw:curve", c.hint);
        auto in = Open(Path("frame.tsr"), config);
        ASSERT_TRUE(in) << OIIO::geterror();
        EXPECT_EQ(in->spec().get_string_attribute("oiio:ColorSpace"), c.name) << c.hint;
        EXPECT_EQ(in->spec().get_int_attribute("tesselraw:curve"), c.curve) << c.hint;
        EXPECT_EQ(in->spec().get_int_attribute("oiio:Movie"), 0);   // one frame is a still
        EXPECT_FALSE(in->spec().find_attribute("FramesPerSecond")); // a plain frame has no rate
    }
}

// Half and float, full size and downscaled, frames read out of order: each read is the engine's
// output for that frame, byte for byte.
TEST_F(OiioPluginTest, PixelsAreTheEnginesOutput) {
    const std::vector<Bytes> frames = SceneFrames(3, 96, 64, {});
    WriteClip(Path("clip.tsr"), frames);
    const struct {
        int downscale;
        const char* type;
        int curve;
    } cases[] = {{1, "half", 1}, {1, "float", 2}, {2, "half", 0}, {4, "float", 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " downscale " + std::to_string(c.downscale));
        OIIO::ImageSpec config;
        config.attribute("tesselraw:downscale", c.downscale);
        config.attribute("tesselraw:type", c.type);
        config.attribute("tesselraw:curve", c.curve);
        config.attribute("tesselraw:engine", "cpu");
        auto in = Open(Path("clip.tsr"), config);
        ASSERT_TRUE(in) << OIIO::geterror();
        const bool isFloat = std::string(c.type) == "float";
        EXPECT_EQ(in->spec().format, isFloat ? OIIO::TypeFloat : OIIO::TypeHalf);
        for (const int index : {2, 0, 2, 1}) {
            const OIIO::ImageSpec spec = in->spec(index);
            Bytes pixels(spec.image_bytes());
            ASSERT_TRUE(in->read_image(index, 0, 0, 4, spec.format, pixels.data())) << in->geterror();
            const int scaleIndex = c.downscale == 1 ? 0 : c.downscale == 2 ? 1 : 2;
            const Bytes engine = EngineRgba(frames[static_cast<size_t>(index)], scaleIndex,
                                            static_cast<unsigned>(c.curve), isFloat);
            EXPECT_TRUE(pixels == engine) << "frame " << index;
            // A band of rows from the middle.
            const size_t rowBytes = spec.scanline_bytes();
            Bytes band(rowBytes * 3);
            ASSERT_TRUE(in->read_scanlines(index, 0, 5, 8, 0, 0, 4, spec.format, band.data()));
            EXPECT_TRUE(std::equal(band.begin(), band.end(),
                                   engine.begin() + static_cast<std::ptrdiff_t>(5 * rowBytes)));
        }
    }
}

TEST_F(OiioPluginTest, BadHintsAreRefusedWithTheirNames) {
    WriteClip(Path("frame.tsr"), SceneFrames(1, 64, 32, {}));
    const struct {
        const char* name;
        const char* value; // string hints; integers below
        int integer;
        const char* message;
    } cases[] = {{"tesselraw:curve", nullptr, 9, "tesselraw:curve must be"},
                 {"tesselraw:curve", "srgb", 0, "tesselraw:curve must be"},
                 {"tesselraw:downscale", nullptr, 3, "tesselraw:downscale must be"},
                 {"tesselraw:downscale", nullptr, 16, "tesselraw:downscale must be"},
                 {"tesselraw:engine", "gpu", 0, "tesselraw:engine must be"},
                 {"tesselraw:type", "double", 0, "tesselraw:type must be"},
                 {"tesselraw:threads", nullptr, -1, "tesselraw:threads must be"},
                 {"tesselraw:partial", "yes", 0, "tesselraw:partial must be"}};
    for (const auto& c : cases) {
        OIIO::ImageSpec config;
        if (c.value)
            config.attribute(c.name, c.value);
        else
            config.attribute(c.name, c.integer);
        auto in = OIIO::ImageInput::create("tesselraw");
        OIIO::ImageSpec spec;
        EXPECT_FALSE(in->open(Path("frame.tsr"), spec, config)) << c.name;
        EXPECT_NE(in->geterror().find(c.message), std::string::npos) << c.name;
    }
    OIIO::ImageSpec config;
    config.attribute("tesselraw:engine", "cpu");
    config.attribute("tesselraw:device", "0:0");
    auto in = OIIO::ImageInput::create("tesselraw");
    OIIO::ImageSpec spec;
    EXPECT_FALSE(in->open(Path("frame.tsr"), spec, config));
    EXPECT_NE(in->geterror().find("not the CPU engine"), std::string::npos);
}

// A frame whose slices are damaged still has a spec (probing does not decode); reading it fails
// with the frame named, and the frames around it read as before. With tesselraw:partial it reads.
TEST_F(OiioPluginTest, SpecDoesNotDecodeAndADamagedFrameFailsOnlyItsOwnRead) {
    std::vector<Bytes> frames = SceneFrames(3, 64, 32, {});
    ASSERT_TRUE(tsr::faults::SetSliceHeaderSizeByte(frames[1], 0, 0));
    WriteClip(Path("clip.tsr"), frames);
    for (const int partial : {0, 1}) {
        OIIO::ImageSpec config;
        config.attribute("tesselraw:partial", partial);
        auto in = Open(Path("clip.tsr"), config);
        ASSERT_TRUE(in) << OIIO::geterror();
        EXPECT_EQ(in->spec(1).width, 64);
        Bytes pixels(in->spec().image_bytes());
        EXPECT_TRUE(in->read_image(0, 0, 0, 4, OIIO::TypeHalf, pixels.data())) << in->geterror();
        EXPECT_EQ(in->read_image(1, 0, 0, 4, OIIO::TypeHalf, pixels.data()), partial == 1);
        const std::string error = in->geterror();
        if (partial == 0) {
            EXPECT_NE(error.find("frame 1"), std::string::npos) << error;
        }
        EXPECT_TRUE(in->read_image(2, 0, 0, 4, OIIO::TypeHalf, pixels.data())) << in->geterror();
        EXPECT_FALSE(in->seek_subimage(3, 0)); // past the end: no such subimage
    }
}

// Cut and bit-flipped frames and clips: every open or read either works or fails with a message.
TEST_F(OiioPluginTest, HostileInputGivesErrorsNeverCrashes) {
    const std::vector<Bytes> frames = SceneFrames(2, 64, 32, {});
    WriteClip(Path("clip.mov"), frames);
    WriteClip(Path("clip.tsr"), frames);
    const Bytes sources[] = {frames[0], ReadFile(Path("clip.tsr")), ReadFile(Path("clip.mov"))};
    std::mt19937 random(7);
    int failures = 0, tries = 0;
    for (const Bytes& source : sources) {
        std::vector<Bytes> variants;
        for (const size_t cut : {size_t(0), size_t(7), size_t(40), source.size() / 3, source.size() - 1})
            variants.emplace_back(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(cut));
        for (int i = 0; i < 24; ++i) {
            Bytes flipped = source;
            // Half the flips land in the first 200 bytes, where headers and atoms are.
            const size_t at = random() % (i % 2 ? flipped.size() : std::min<size_t>(200, flipped.size()));
            flipped[at] ^= static_cast<uint8_t>(1u << (random() % 8));
            variants.push_back(flipped);
        }
        for (const Bytes& variant : variants) {
            WriteFile(Path("hostile.tsr"), variant);
            ++tries;
            auto in = OIIO::ImageInput::create("tesselraw");
            OIIO::ImageSpec spec;
            if (!in->open(Path("hostile.tsr"), spec)) {
                ++failures;
                EXPECT_FALSE(in->geterror().empty());
                continue;
            }
            for (int s = 0; s < spec.get_int_attribute("oiio:subimages"); ++s) {
                std::vector<float> pixels(static_cast<size_t>(spec.width) * static_cast<size_t>(spec.height) *
                                          4);
                // A frame of another size than the first is read at its own size or refused.
                if (!in->seek_subimage(s, 0) || in->spec().image_pixels() * 4 > pixels.size() ||
                    !in->read_image(s, 0, 0, 4, OIIO::TypeFloat, pixels.data())) {
                    ++failures;
                    EXPECT_TRUE(in->spec().image_pixels() * 4 > pixels.size() || !in->geterror().empty());
                }
            }
        }
    }
    EXPECT_GT(failures, tries / 4); // the cuts and many flips are refused, not read as pictures
}

} // namespace
