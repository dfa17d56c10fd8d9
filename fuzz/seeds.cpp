// Writes the seed corpora of the fuzzers from frames made by the encoder: frames of several sizes,
// partitions, versions, matrices and curves; clips of them in both containers; pictures in every
// format `encode` reads; frame info records for the engine. Usage: fuzz_seeds FOLDER
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "encoder/frameencoder.h"
#include "encoder/syntheticscene.h"
#include "pictures/imagefiles.h"
#include "tsr/framedecoder.h"
#include "tsr/media/clip.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Write(const std::string& path, const Bytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::fclose(file);
}

Bytes Frame(int width, int height, const tsr::EncoderSettings& settings, double t = 0.25) {
    tsr::SceneSettings scene;
    scene.width = width;
    scene.height = height;
    const std::vector<uint16_t> mosaic = tsr::RenderSceneMosaic(scene, settings.bayerPattern, t);
    return tsr::EncodeFrame(mosaic.data(), width, height, width, settings);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string root = argv[1];
    for (const char* name : {"", "/decode", "/header", "/clip", "/picture", "/engine", "/gstreamer"})
        mkdir((root + name).c_str(), 0755);

    struct Variant {
        int width, height;
        tsr::EncoderSettings settings;
    };
    std::vector<Variant> variants;
    for (int log2 = 0; log2 <= 4; ++log2) {
        tsr::EncoderSettings s;
        s.log2SliceWidth = log2;
        s.bayerPattern = log2 & 3;
        variants.push_back({16 * (log2 + 2) + 8, 24, s});
    }
    tsr::EncoderSettings matrix;
    matrix.hasQuantMatrix = true;
    for (int i = 0; i < 64; ++i) matrix.quantMatrix[size_t(i)] = uint8_t(1 + (i * 7) % 63);
    matrix.hasToneCurve = true;
    matrix.toneCurve = {0, 300, 1000, 2000, 5000, 9000, 20000, 40000};
    matrix.qScale = 2;
    variants.push_back({48, 32, matrix});
    tsr::EncoderSettings old;
    old.version = 0;
    old.extraHeaderBytes = 6;
    old.sliceHeaderExtension = 3;
    variants.push_back({32, 16, old});

    std::vector<Bytes> frames;
    for (size_t v = 0; v < variants.size(); ++v) {
        const Bytes frame = Frame(variants[v].width, variants[v].height, variants[v].settings);
        frames.push_back(frame);
        Write(root + "/header/frame" + std::to_string(v), frame);
        for (int scale = 0; scale <= 3; ++scale) {
            // Call bytes: scale and two workers, exact pitch, exact buffer, full record.
            Bytes input = {uint8_t(scale | (v & 1) << 3), 16, 128, 1};
            input.insert(input.end(), frame.begin(), frame.end());
            Write(root + "/decode/frame" + std::to_string(v) + "-scale" + std::to_string(scale), input);

            const int pitch = frameDecoderMinRowPitch(variants[v].width, scale);
            const int shift = scale;
            Bytes picture(size_t(pitch) * size_t(variants[v].height >> shift));
            Bytes engine(16 + TSR_FRAME_INFO_RECORD_SIZE, 0);
            FrameDecoderHandle decoder = frameDecoderCreate(1);
            frameDecoderDecode(decoder, frame.data(), int(frame.size()), picture.data(), int(picture.size()),
                               pitch, engine.data() + 16, TSR_FRAME_INFO_RECORD_SIZE, scale);
            frameDecoderDestroy(decoder);
            const int width = variants[v].width >> shift, height = variants[v].height >> shift;
            engine[0] = uint8_t(width), engine[1] = uint8_t(width >> 8);
            engine[2] = uint8_t(height), engine[3] = uint8_t(height >> 8);
            engine[4] = uint8_t(pitch), engine[5] = uint8_t(pitch >> 8);
            const size_t length = picture.size();
            const int shiftBits = length > 0x3FFFF ? 3 : length > 0x1FFFF ? 2 : length > 0xFFFF ? 1 : 0;
            engine[7] = uint8_t(length >> shiftBits), engine[8] = uint8_t(length >> (8 + shiftBits));
            engine[9] = uint8_t(shiftBits);
            engine[10] = uint8_t(scale == 0 ? 0 : 1);
            engine[11] = uint8_t(v % 5);
            Write(root + "/engine/record" + std::to_string(v) + "-scale" + std::to_string(scale), engine);
        }
    }

    // Clips: the same frames in both containers (a clip holds frames of one size).
    Bytes sequence;
    std::vector<Bytes> clipFrames;
    for (int i = 0; i < 3; ++i) clipFrames.push_back(Frame(32, 16, tsr::EncoderSettings{}, i * 0.1));
    for (const Bytes& frame : clipFrames) sequence.insert(sequence.end(), frame.begin(), frame.end());
    Write(root + "/clip/frames.tsr", sequence);
    for (const char* fourcc : {"tsrn", "tsrh"}) {
        tsr::media::ClipWriterSettings settings;
        settings.fourcc = tsr::media::FourCC(fourcc[0], fourcc[1], fourcc[2], fourcc[3]);
        std::unique_ptr<tsr::media::ClipWriter> writer =
            tsr::media::CreateClipWriter(root + "/clip/" + fourcc + ".mov", settings);
        for (const Bytes& frame : clipFrames) writer->Append(frame);
        writer->Finish();
    }

    // The GStreamer elements: the plain stream through the parser (whole, in small pieces, and with
    // a broken frame size in the middle), and the frames one buffer each into the decoder.
    Bytes broken = sequence;
    broken[clipFrames[0].size()] ^= 0x40;
    const struct {
        const char* name;
        uint8_t mode, piece;
        const Bytes* stream;
    } streams[] = {{"stream", 2, 255, &sequence}, {"pieces", 0, 1, &sequence}, {"broken", 4, 20, &broken}};
    for (const auto& stream : streams) {
        Bytes input = {stream.mode, stream.piece};
        input.insert(input.end(), stream.stream->begin(), stream.stream->end());
        Write(root + "/gstreamer/" + stream.name, input);
    }
    Bytes packets = {3, 0};
    for (const Bytes& frame : clipFrames) {
        packets.push_back(uint8_t(frame.size() >> 8));
        packets.push_back(uint8_t(frame.size()));
        packets.insert(packets.end(), frame.begin(), frame.end());
    }
    Write(root + "/gstreamer/frames", packets);

    // Pictures: grey and RGBA 16-bit PNG and TIFF, 8-bit PNG, half and float OpenEXR.
    const int w = 6, h = 4;
    std::vector<uint16_t> samples(size_t(w * h * 4));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = uint16_t(i * 2731);
    std::vector<uint8_t> samples8(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) samples8[i] = uint8_t(samples[i] >> 8);
    std::vector<float> floats(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) floats[i] = float(samples[i]) / 65535.0f;
    tsr::tools::WritePng(root + "/picture/grey.png", w, h, 1, samples.data(), w);
    tsr::tools::WritePng(root + "/picture/rgba.png", w, h, 4, samples.data(), 4 * w);
    tsr::tools::WritePng8(root + "/picture/rgba8.png", w, h, 4, samples8.data(), 4 * w);
    tsr::tools::WriteTiff(root + "/picture/grey.tif", w, h, 1, samples.data(), w);
    tsr::tools::WriteTiff(root + "/picture/rgba.tif", w, h, 4, samples.data(), 4 * w);
    tsr::tools::WriteExrHalf(root + "/picture/half.exr", w, h, samples.data(),
                             tsr::tools::ExrCompression::None);
    tsr::tools::WriteExrHalf(root + "/picture/piz.exr", w, h, samples.data(),
                             tsr::tools::ExrCompression::Piz);
    tsr::tools::WriteExrFloat(root + "/picture/float.exr", w, h, floats.data(),
                              tsr::tools::ExrCompression::Zip);
    return 0;
}
