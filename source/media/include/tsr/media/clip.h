// Sources and sinks of compressed frames: a single frame file, a plain file of frames back to
// back (each frame begins with its own size), or a QuickTime file whose video track carries
// 'tsrn' or 'tsrh' frames.
//
//   std::unique_ptr<tsr::media::ClipReader> clip = tsr::media::OpenClip("take1.mov");
//   const tsr::media::FrameSize size = tsr::media::FirstFrameSize(*clip); // from the header
//   std::vector<uint8_t> bytes;
//   for (int i = 0; clip->HasFrame(i); ++i) clip->ReadFrame(i, bytes);
//
// Every failure throws MediaError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tsr/media/mediaerror.h"

namespace tsr::media {

constexpr uint32_t FourCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}
constexpr uint32_t kFourCCTsrn = FourCC('t', 's', 'r', 'n');
constexpr uint32_t kFourCCTsrh = FourCC('t', 's', 'r', 'h');
std::string FourCCText(uint32_t fourcc);

struct ClipProperties {
    std::string container;                                // "frames" (back to back) or "quicktime"
    uint32_t fourcc = 0;                                  // the track's sample type; 0 for plain frames
    int frameRateNumerator = 0, frameRateDenominator = 0; // 0/0 when the file does not say
    std::string timecode; // of the first frame, "HH:MM:SS:FF"; empty when the file has none
};

class ClipReader {
public:
    virtual ~ClipReader() = default;
    // A stream (frames piped into standard input) learns its length only at its end: -1 until
    // then. Its frames are read forward, each once.
    virtual int FrameCount() const = 0;
    virtual const ClipProperties& Properties() const = 0;
    // Reads frame `index` (0-based) into `bytes`; throws MediaError when it cannot.
    virtual void ReadFrame(int index, std::vector<uint8_t>& bytes) = 0;
    // Whether frame `index` exists; a stream reads forward to it to find out.
    virtual bool HasFrame(int index) { return index >= 0 && index < FrameCount(); }
};

// The input named "-": standard input.
constexpr const char* kStandardInputName = "standard input";
// A QuickTime clip piped into standard input is read into memory (its sample index may point
// anywhere in the file); more than this many bytes are refused (MediaError::Remedy::MaxStdinBytes).
constexpr unsigned long long kDefaultMaxStdinBytes = 4ull << 30;
void SetMaxStdinBytes(unsigned long long bytes);

// Opens a clip by content, not by name; "-" reads standard input (frames back to back as a
// stream, a QuickTime clip through memory). Throws MediaError for unreadable or unrecognised files
// and for clips whose frames run past the end of the file, or, with `keepDamaged`, keeps such a
// frame in the clip and throws when it is read: in a plain clip, the bytes from a frame that runs
// past the end or lacks its size and magic up to the next plausible frame are one such frame.
std::unique_ptr<ClipReader> OpenClip(const std::string& path, bool keepDamaged = false);
// A clip in memory, recognised by content like a file: frames back to back or QuickTime. The
// reader keeps the bytes; `name` stands for them in messages.
std::unique_ptr<ClipReader> OpenClip(std::vector<uint8_t> bytes, const std::string& name,
                                     bool keepDamaged = false);
std::unique_ptr<ClipReader> OpenFrameSequence(const std::string& path, bool keepDamaged = false);
std::unique_ptr<ClipReader> OpenQuickTimeClip(const std::string& path, bool keepDamaged = false);
// The same readers over an open stream (taken over) or over bytes in memory (which must outlive
// the reader), named `name` in messages.
std::unique_ptr<ClipReader> OpenFrameSequence(std::FILE* file, const std::string& name,
                                              bool keepDamaged = false);
std::unique_ptr<ClipReader> OpenQuickTimeClip(const uint8_t* bytes, size_t size, const std::string& name,
                                              bool keepDamaged = false);
// A pipe such as standard input (not taken over), whose first `got` bytes (`head`) have been read
// to tell its kind: frames back to back as a stream, a QuickTime clip through memory.
std::unique_ptr<ClipReader> OpenPipedClip(std::FILE* in, const uint8_t* head, size_t got,
                                          bool keepDamaged = false);

struct ClipWriterSettings {
    uint32_t fourcc = kFourCCTsrn;
    int frameRateNumerator = 24, frameRateDenominator = 1;
    std::string timecode; // QuickTime: a time code track from this "HH:MM:SS:FF"; empty for none
};

class ClipWriter {
public:
    virtual ~ClipWriter() = default;
    virtual void Append(const std::vector<uint8_t>& frame) = 0;
    // Completes the file and moves it to its final name; without Finish nothing is left behind.
    virtual void Finish() = 0;
};

// ".mov" and ".qt" give QuickTime; anything else plain frames back to back. ".mp4" is refused:
// the MP4 sample-entry table has no place for these sample types.
std::unique_ptr<ClipWriter> CreateClipWriter(const std::string& path, const ClipWriterSettings& settings);

// Whether `path` ends in `extension` (with the dot), whatever the case of its letters.
bool HasExtension(const std::string& path, const char* extension);
std::unique_ptr<ClipWriter> CreateFrameSequenceWriter(const std::string& path);
std::unique_ptr<ClipWriter> CreateQuickTimeWriter(const std::string& path,
                                                  const ClipWriterSettings& settings);

// The size in photosites that a frame's header gives, read without decoding; 0x0 for bytes that
// do not start with a frame header.
struct FrameSize {
    int width = 0, height = 0;
};
FrameSize FrameSizeOf(const std::vector<uint8_t>& frame);
// The size of the clip's first frame (read for it; a stream keeps it for the next ReadFrame).
FrameSize FirstFrameSize(ClipReader& clip);

} // namespace tsr::media
