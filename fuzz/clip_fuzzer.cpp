// The clip readers on untrusted bytes, from memory: plain frames back to back through a stdio
// stream, QuickTime through libavformat's custom I/O. Every frame they hand out is then inspected
// as `info` does (header, partition, slice walk, one decode), with a small picture cap. Then the
// bytes go through the readers of piped input.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "clips/clip.h"
#include "clips/framesummary.h"
#include "pictures/decodedpicture.h"
#include "support/toolerror.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FrameDecoderHandle decoder = [] {
        tsr::tools::DecodedPicture::SetMaxPixels(1024 * 1024);
        return frameDecoderCreate(1);
    }();
    std::vector<uint8_t> copy(data, data + size); // fmemopen takes a writable buffer
    try {
        std::unique_ptr<tsr::tools::ClipReader> clip;
        if (size >= 8 && std::memcmp(data + 4, "tsrf", 4) == 0) {
            std::FILE* file = fmemopen(copy.data(), copy.size(), "rb");
            if (!file) return 0;
            clip = tsr::tools::OpenFrameSequence(file, "input");
        } else {
            clip = tsr::tools::OpenQuickTimeClip(data, size, "input");
        }
        std::vector<uint8_t> frame;
        const int count = clip->FrameCount();
        for (int index = 0; index < count && index < 16; ++index) {
            clip->ReadFrame(index, frame);
            tsr::tools::InspectFrame(frame, decoder, 3);
        }
    } catch (const tsr::tools::ToolError&) {
    }
    // The same bytes piped in, as standard input brings them: frames as a stream, read forward.
    std::FILE* pipe = fmemopen(copy.data(), copy.size(), "rb");
    if (!pipe) return 0;
    try {
        uint8_t head[8] = {};
        const size_t got = std::fread(head, 1, sizeof head, pipe);
        std::unique_ptr<tsr::tools::ClipReader> clip = tsr::tools::OpenPipedClip(pipe, head, got, true);
        std::vector<uint8_t> frame;
        for (int index = 0; index < 16 && clip->HasFrame(index); index += 2) clip->ReadFrame(index, frame);
    } catch (const tsr::tools::ToolError&) {
    }
    std::fclose(pipe);
    return 0;
}
