#include "streams/codecpresets.h"

#include <cctype>
#include <cstdlib>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "support/outputnames.h"
#include "support/toolerror.h"

namespace tsr::tools {

using namespace media;

namespace {

struct CodecEntry {
    ProxyCodec codec;
    const char* name;
    const char* encoder;
    AVPixelFormat pixelFormat;
    const char* containers; // the muxers that take it, space-separated
};

const CodecEntry kCodecs[] = {
    {ProxyCodec::ProRes, "prores", "prores_ks", AV_PIX_FMT_YUV422P10, "mov matroska"},
    {ProxyCodec::DnxHr, "dnxhr", "dnxhd", AV_PIX_FMT_YUV422P10, "mov mxf"},
    {ProxyCodec::H264, "h264", "libx264", AV_PIX_FMT_YUV420P10, "mov mp4 matroska"},
    {ProxyCodec::Hevc, "hevc", "libx265", AV_PIX_FMT_YUV420P10, "mov mp4 matroska"},
    {ProxyCodec::Ffv1, "ffv1", "ffv1", AV_PIX_FMT_YUV444P10, "mov matroska"},
};

const CodecEntry& Entry(ProxyCodec codec) {
    for (const CodecEntry& entry : kCodecs)
        if (entry.codec == codec) return entry;
    return kCodecs[0];
}

bool Takes(const CodecEntry& entry, const std::string& muxer) {
    const std::string list = std::string(" ") + entry.containers + " ";
    return list.find(" " + muxer + " ") != std::string::npos;
}

} // namespace

std::optional<std::string> VideoMuxerFor(const std::string& path) {
    if (HasExtension(path, ".mov")) return "mov";
    if (HasExtension(path, ".mp4")) return "mp4";
    if (HasExtension(path, ".mkv")) return "matroska";
    if (HasExtension(path, ".mxf")) return "mxf";
    return std::nullopt;
}

long long ParseBitRate(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    double scale = 1;
    if (end && (*end == 'k' || *end == 'K'))
        scale = 1e3, ++end;
    else if (end && (*end == 'm' || *end == 'M'))
        scale = 1e6, ++end;
    if (text.empty() || !end || *end != '\0' || !(value > 0) || value * scale > 1e12)
        throw UsageError("--bitrate takes bits per second, e.g. 20M or 8000k");
    return static_cast<long long>(value * scale);
}

ProxyChoice ChooseProxy(const std::string& codecName, const std::string& path, const std::string& quality,
                        const std::string& bitRate) {
    const std::optional<std::string> muxer = VideoMuxerFor(path);
    if (!muxer) throw UsageError("--codec writes a video file: name it .mov, .mp4, .mkv or .mxf");
    ProxyChoice choice;
    choice.muxer = *muxer;
    if (codecName.empty()) {
        choice.codec = *muxer == "mp4"   ? ProxyCodec::H264
                       : *muxer == "mxf" ? ProxyCodec::DnxHr
                                         : ProxyCodec::ProRes;
    } else {
        const CodecEntry* found = nullptr;
        for (const CodecEntry& entry : kCodecs)
            if (codecName == entry.name) found = &entry;
        if (!found) throw UsageError("--codec must be prores, dnxhr, h264, hevc or ffv1");
        choice.codec = found->codec;
    }
    const CodecEntry& entry = Entry(choice.codec);
    if (!Takes(entry, *muxer))
        throw UsageError(std::string(entry.name) + " does not go in a " + path.substr(path.rfind('.')) +
                         " file (it goes in " + entry.containers + ")");
    const bool rateControlled = choice.codec == ProxyCodec::H264 || choice.codec == ProxyCodec::Hevc;
    if (!quality.empty()) {
        if (!rateControlled && choice.codec != ProxyCodec::ProRes)
            throw UsageError(std::string("--quality does not apply to ") + entry.name);
        const int low = rateControlled ? 0 : 1, high = rateControlled ? 51 : 31;
        char* end = nullptr;
        const long value = std::strtol(quality.c_str(), &end, 10);
        if (!end || *end != '\0' || value < low || value > high)
            throw UsageError(std::string("--quality for ") + entry.name + " is " + std::to_string(low) +
                             ".." + std::to_string(high));
        choice.quality = static_cast<int>(value);
    }
    if (!bitRate.empty()) {
        if (!rateControlled) throw UsageError(std::string("--bitrate does not apply to ") + entry.name);
        if (choice.quality) throw UsageError("--quality and --bitrate exclude each other");
        choice.bitRate = ParseBitRate(bitRate);
    }
    return choice;
}

VideoStreamSetup ProxySetup(const ProxyChoice& choice, int width, int height) {
    const CodecEntry& entry = Entry(choice.codec);
    VideoStreamSetup setup;
    setup.muxer = choice.muxer;
    setup.encoder = entry.encoder;
    setup.pixelFormat = entry.pixelFormat;
    setup.width = width;
    setup.height = height;
    setup.colourTagged = true;
    switch (choice.codec) {
    case ProxyCodec::ProRes:
        setup.options.emplace_back("profile", "hq");
        setup.options.emplace_back("vendor", "apl0");
        if (choice.quality) setup.globalQuality = *choice.quality;
        break;
    case ProxyCodec::DnxHr:
        if (width < 256 || height < 120)
            throw ToolError("DNxHR needs pictures of at least 256x120; these are " + std::to_string(width) +
                            "x" + std::to_string(height));
        setup.options.emplace_back("profile", "dnxhr_hqx");
        break;
    case ProxyCodec::H264:
    case ProxyCodec::Hevc: {
        const bool h264 = choice.codec == ProxyCodec::H264;
        if (width % 2 || height % 2)
            throw ToolError(std::string(entry.name) + " at 4:2:0 needs an even width and height; these are " +
                            std::to_string(width) + "x" + std::to_string(height));
        if (choice.bitRate > 0)
            setup.bitRate = choice.bitRate;
        else
            setup.options.emplace_back("crf", std::to_string(choice.quality ? *choice.quality
                                                             : h264         ? 18
                                                                            : 20));
        setup.options.emplace_back("profile", h264 ? "high10" : "main10");
        if (!h264) {
            setup.options.emplace_back("x265-params", "log-level=error");
            // QuickTime players take HEVC with its parameter sets in the sample description.
            if (choice.muxer != "matroska") setup.codecTag = MKTAG('h', 'v', 'c', '1');
        }
        break;
    }
    case ProxyCodec::Ffv1:
        setup.options.emplace_back("level", "3");
        setup.options.emplace_back("slicecrc", "1");
        break;
    }
    return setup;
}

} // namespace tsr::tools
