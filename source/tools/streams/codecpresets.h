// The proxy codecs, their defaults and the containers each fits:
//
//   prores  ProRes 422 HQ (prores_ks), 4:2:2 10-bit          .mov .mkv
//   dnxhr   DNxHR HQX, 4:2:2 10-bit (at least 256x120)        .mov .mxf
//   h264    H.264 High 10 (libx264), 4:2:0 10-bit, CRF 18    .mov .mp4 .mkv
//   hevc    HEVC Main 10 (libx265), 4:2:0 10-bit, CRF 20     .mov .mp4 .mkv
//   ffv1    FFV1 version 3, 4:4:4 10-bit, lossless           .mov .mkv
//
// --quality is the CRF of h264/hevc (0..51) or the fixed quantiser of prores (1..31, lower is
// better); --bitrate an average rate for h264/hevc. DNxHR's rate follows from its profile and
// FFV1 is lossless: both refuse them.
#pragma once

#include <optional>
#include <string>

#include "streams/videostream.h"

namespace tsr::tools {

enum class ProxyCodec { ProRes, DnxHr, H264, Hevc, Ffv1 };

// The container of a video file name (.mov, .mp4, .mkv, .mxf), or none.
std::optional<std::string> VideoMuxerFor(const std::string& path);

struct ProxyChoice {
    ProxyCodec codec = ProxyCodec::ProRes;
    std::string muxer;
    std::optional<int> quality;
    long long bitRate = 0;
};

// Checks the codec name (empty: the container's usual codec), the fit with the container and
// the rate options; throws a usage error naming what does not fit.
ProxyChoice ChooseProxy(const std::string& codecName, const std::string& path, const std::string& quality,
                        const std::string& bitRate);

// The encoder setup of a choice for pictures of width x height (frame rate, tags and time
// code are the caller's).
VideoStreamSetup ProxySetup(const ProxyChoice& choice, int width, int height);

// "20M", "8000k" or plain bits per second.
long long ParseBitRate(const std::string& text);

} // namespace tsr::tools
