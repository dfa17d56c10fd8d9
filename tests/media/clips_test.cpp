// Clips opened from memory, header sizes without decoding, decoding through FrameDecoder with
// its failures carried by MediaError, and inspection without decoding.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "encoder/frameencoder.h"
#include "encoder/framefaults.h"
#include "encoder/syntheticscene.h"
#include "tsr/media/clip.h"
#include "tsr/media/decodedpicture.h"
#include "tsr/media/frames.h"

namespace tsr::media::test {
namespace {

std::vector<std::vector<uint8_t>> Frames(int count, int width, int height) {
    SceneSettings scene;
    scene.width = width;
    scene.height = height;
    EncoderSettings settings;
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < count; ++i) {
        const std::vector<uint16_t> mosaic = RenderSceneMosaic(scene, settings.bayerPattern, i / 24.0);
        frames.push_back(EncodeFrame(mosaic.data(), width, height, width, settings));
    }
    return frames;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string WriteClip(const std::string& name, const std::vector<std::vector<uint8_t>>& frames) {
    const std::string path = ::testing::TempDir() + "media_" + std::to_string(getpid()) + "_" + name;
    ClipWriterSettings settings;
    settings.frameRateNumerator = 25;
    settings.timecode = "01:00:00:00";
    std::unique_ptr<ClipWriter> writer = CreateClipWriter(path, settings);
    for (const auto& frame : frames) writer->Append(frame);
    writer->Finish();
    return path;
}

// The same frames through a file and through memory, for both containers; the size comes from
// the first frame's header.
TEST(MediaClipTest, MemoryAndFileGiveTheSameFrames) {
    const std::vector<std::vector<uint8_t>> frames = Frames(3, 64, 48);
    for (const char* name : {"clip.mov", "clip.tsr"}) {
        const std::string path = WriteClip(name, frames);
        std::unique_ptr<ClipReader> fromFile = OpenClip(path);
        std::unique_ptr<ClipReader> fromMemory = OpenClip(ReadAll(path), "memory");
        std::remove(path.c_str());
        for (ClipReader* clip : {fromFile.get(), fromMemory.get()}) {
            ASSERT_EQ(3, clip->FrameCount()) << name;
            const FrameSize size = FirstFrameSize(*clip);
            EXPECT_EQ(64, size.width);
            EXPECT_EQ(48, size.height);
            std::vector<uint8_t> bytes;
            for (int i = 0; i < 3; ++i) {
                clip->ReadFrame(i, bytes);
                EXPECT_EQ(frames[static_cast<size_t>(i)], bytes) << name << " frame " << i;
            }
        }
        EXPECT_EQ(fromFile->Properties().container, fromMemory->Properties().container);
        EXPECT_EQ(fromFile->Properties().timecode, fromMemory->Properties().timecode);
        EXPECT_EQ(fromFile->Properties().frameRateNumerator, fromMemory->Properties().frameRateNumerator);
    }
}

TEST(MediaClipTest, MemoryThatIsNoClipIsRefusedByName) {
    struct Case {
        std::vector<uint8_t> bytes;
        const char* message;
    };
    std::vector<uint8_t> cut = Frames(1, 64, 48)[0];
    cut.resize(cut.size() / 2);
    const Case cases[] = {
        {{}, "buffer is empty"},
        {{'n', 'o', 't', ' ', 'a', ' ', 'c', 'l', 'i', 'p'},
         "buffer is neither a Tessel RAW frame nor a clip of them"},
        {cut, "buffer: frame 0 is truncated"},
    };
    for (const Case& c : cases) {
        try {
            OpenClip(c.bytes, "buffer");
            ADD_FAILURE() << c.message;
        } catch (const MediaError& error) {
            EXPECT_EQ(0u, std::string(error.what()).find(c.message)) << error.what();
            EXPECT_EQ(MediaError::Kind::Failure, error.ErrorKind());
        }
    }
    EXPECT_EQ(64, FrameSizeOf(cut).width); // the header is whole
    EXPECT_EQ(0, FrameSizeOf({1, 2, 3}).width);
}

// A decoded frame comes with both records; refusals name the frame and carry the decoder's result
// or the remedy a front end can offer.
TEST(MediaDecodeTest, DecodesWithRecordsAndNamesRefusedFrames) {
    std::vector<uint8_t> frame = Frames(1, 64, 48)[0];
    FrameDecoder decoder(1);
    DecodedPicture picture;
    EXPECT_EQ(0, decoder.Decode(frame, 5, 1, picture));
    EXPECT_EQ(32, picture.OutputWidth());
    EXPECT_EQ(24, picture.OutputHeight());
    EXPECT_EQ(32, picture.Record()->width);
    EXPECT_EQ(3839, FrameMetadata(frame, 5).whiteLevelCode);

    try {
        decoder.Decode(frame, 5, 4, picture);
        ADD_FAILURE() << "scale index 4 was taken";
    } catch (const MediaError& error) {
        EXPECT_EQ(MediaError::Kind::BadArgument, error.ErrorKind());
    }

    std::vector<uint8_t> broken = frame;
    broken.resize(40); // the header alone: no slice table
    try {
        decoder.Decode(broken, 7, 0, picture);
        ADD_FAILURE() << "a frame without slices was decoded";
    } catch (const MediaError& error) {
        EXPECT_STREQ("frame 7: invalid frame (-2)", error.what());
        EXPECT_EQ(MediaError::Kind::Decoder, error.ErrorKind());
        EXPECT_EQ(-2, error.Code());
        EXPECT_EQ("invalid frame (-2)", error.CodeName());
    }
    EXPECT_THROW(FrameMetadata({1, 2, 3}, 2), MediaError);

    const unsigned long long limit = DecodedPicture::MaxPixels();
    DecodedPicture::SetMaxPixels(64 * 47);
    try {
        decoder.Decode(frame, 3, 0, picture);
        ADD_FAILURE() << "a picture above the limit was decoded";
    } catch (const MediaError& error) {
        EXPECT_STREQ("frame 3: a 64x48 picture has more than 3008 pixels", error.what());
        EXPECT_EQ(MediaError::Remedy::MaxPixels, error.Hint());
    }
    DecodedPicture::SetMaxPixels(limit);
}

// Inspection without a decoder tells what a decode tells: the verdict, the note of a size the
// decoder cannot take, and the frame info record, for sound, refused and partly damaged frames at
// every scale index.
TEST(MediaInspectTest, HeaderChecksTellWhatADecodeTells) {
    struct Case {
        const char* field;
        uint32_t value;
        int index;
        int expected, capped; // the decode's result, and with a cap below the frame's size
    };
    const Case cases[] = {
        {"", 0, 0, 0, -3},
        {"sliceQScale", 0, 1, 0, -3},         // a damaged slice is skipped, not refused
        {"sliceHeaderSizeByte", 0, 0, 0, -3}, // likewise
        {"sliceQScale", 200, 2, 0, -3},       // the largest qScale sets the record's maxDcStep
        {"version", 9, 0, -2, -3},            // the cap is checked before the header rules
        {"height", 47, 0, -2, -2},            // odd, and within the cap
        {"magic", 0x74737266 ^ 1, 0, -2, -2}, // "tsrf" no more
        {"width", 0, 0, -2, -2},
        {"frameFlags", 0x00F0, 0, -2, -2}, // a slice width beyond 16 macroblocks
        {"sliceSize", 0xFFFF, 2, -2, -2},  // the slices run past the end
        {"truncate", 60, 0, -2, -2},       // into the slice size table
        {"truncate", 400, 0, -2, -2},      // into the slices
    };
    const std::vector<uint8_t> sound = Frames(1, 64, 48)[0];
    FrameDecoder decoder(1);
    const unsigned long long limit = DecodedPicture::MaxPixels();
    for (const bool capped : {false, true}) {
        DecodedPicture::SetMaxPixels(capped ? 64 * 47 : limit);
        for (const Case& c : cases) {
            std::vector<uint8_t> frame = sound;
            if (*c.field) {
                ASSERT_TRUE(faults::ApplyFault(frame, c.field, c.value, c.index)) << c.field;
            }
            for (int scale = 0; scale <= 3; ++scale) {
                SCOPED_TRACE(std::string(c.field) + " " + std::to_string(c.value) + " scale " +
                             std::to_string(scale) + (capped ? " capped" : ""));
                const FrameInspection read = InspectFrame(frame, nullptr, scale);
                const FrameInspection decoded = InspectFrame(frame, decoder.Get(), scale);
                EXPECT_FALSE(read.decoded);
                EXPECT_TRUE(decoded.decoded);
                EXPECT_EQ(capped ? c.capped : c.expected, decoded.decodeResult);
                EXPECT_EQ(decoded.decodeResult, read.decodeResult);
                EXPECT_EQ(decoded.note, read.note);
                EXPECT_EQ(decoded.noteHint, read.noteHint);
                EXPECT_EQ(0, std::memcmp(&decoded.infoRecord, &read.infoRecord, sizeof read.infoRecord));
            }
        }
    }
    DecodedPicture::SetMaxPixels(limit);
}

} // namespace
} // namespace tsr::media::test
