// The picture readers behind `encode` (PNG, TIFF, OpenEXR) on untrusted bytes. They read by file
// name, so each input goes through a file in memory-backed /dev/shm.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "pictures/imagefiles.h"
#include "support/toolerror.h"
#include "tsr/media/decodedpicture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = [] {
        tsr::media::DecodedPicture::SetMaxPixels(1 << 22); // the fuzzer's memory limit, not a finding
        return "/dev/shm/tsr-picture-fuzzer-" + std::to_string(getpid());
    }();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    try {
        if (size >= 4 && std::memcmp(data, "\x76\x2f\x31\x01", 4) == 0)
            tsr::tools::ReadExr(path);
        else if (size >= 4 && (std::memcmp(data, "II*", 4) == 0 || std::memcmp(data, "MM\0*", 4) == 0))
            tsr::tools::ReadTiff(path);
        else
            tsr::tools::ReadPng(path);
    } catch (const tsr::tools::ToolError&) {
    } catch (const tsr::media::MediaError&) {
    }
    return 0;
}
