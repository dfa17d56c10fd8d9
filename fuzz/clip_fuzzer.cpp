// The clip readers on untrusted bytes, from memory: plain frames back to back through a stdio
// stream, QuickTime through libavformat's custom I/O. Every frame they hand out is then inspected
// as `info` does (header, partition, slice walk, one decode), with a small picture cap. Then the
// bytes go through the readers of piped input.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tsr/media/clip.h"
#include "tsr/media/decodedpicture.h"
#include "tsr/media/frames.h"
#include "tsr/media/mediaerror.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FrameDecoderHandle decoder = [] {
        tsr::media::DecodedPicture::SetMaxPixels(1024 * 1024);
        return frameDecoderCreate(1);
    }();
    std::vector<uint8_t> copy(data, data + size); // fmemopen takes a writable buffer
    try {
        std::unique_ptr<tsr::media::ClipReader> clip;
        if (size >= 8 && std::memcmp(data + 4, "tsrf", 4) == 0) {
            std::FILE* file = fmemopen(copy.data(), copy.size(), "rb");
            if (!file) return 0;
            clip = tsr::media::OpenFrameSequence(file, "input");
        } else {
            clip = tsr::media::OpenQuickTimeClip(data, size, "input");
        }
        std::vector<uint8_t> frame;
        const int count = clip->FrameCount();
        for (int index = 0; index < count && index < 16; ++index) {
            clip->ReadFrame(index, frame);
            tsr::media::InspectFrame(frame, decoder, 3);
        }
    } catch (const tsr::media::MediaError&) {
    }
    // The same bytes piped in, as standard input brings them: frames as a stream, read forward.
    std::FILE* pipe = fmemopen(copy.data(), copy.size(), "rb");
    if (!pipe) return 0;
    try {
        uint8_t head[8] = {};
        const size_t got = std::fread(head, 1, sizeof head, pipe);
        std::unique_ptr<tsr::media::ClipReader> clip = tsr::media::OpenPipedClip(pipe, head, got, true);
        std::vector<uint8_t> frame;
        for (int index = 0; index < 16 && clip->HasFrame(index); index += 2) clip->ReadFrame(index, frame);
    } catch (const tsr::media::MediaError&) {
    }
    std::fclose(pipe);
    return 0;
}
