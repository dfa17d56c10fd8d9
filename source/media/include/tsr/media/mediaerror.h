// The one exception type of the media library. Every failure (a file that cannot be read, a
// frame the decoder refuses, an engine status, an argument out of range) arrives as a
// MediaError whose what() is a complete sentence for the user:
//
//   try {
//       auto clip = tsr::media::OpenClip("take1.mov");
//   } catch (const tsr::media::MediaError& error) {
//       log(error.what());                              // "take1.mov has no tsrn or tsrh video track"
//       if (error.ErrorKind() == tsr::media::MediaError::Kind::Engine) log(error.CodeName());
//   }
//
// Hint() names the limit or listing a front end can point the user to; the message leaves that
// advice to the front end, which knows how its users change the limit.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace tsr::media {

class MediaError : public std::runtime_error {
public:
    enum class Kind {
        Failure,     // input, output or resources: the message says which
        BadArgument, // a value handed in is out of range or does not fit the others
        Decoder,     // the frame decoder refused a frame: Code() is its FRAME_DECODER_* result
        Engine,      // the engine failed a frame or would not start: Code() is its status
    };
    enum class Remedy {
        None,
        MaxPixels,     // the frame is above DecodedPicture::MaxPixels()
        MaxStdinBytes, // a QuickTime clip on standard input is above the limit of SetMaxStdinBytes
        PartialFrames, // damaged slices: decoding with partial frames allowed writes such frames
        ListDevices,   // no such device, or none that fits: the device listing shows them
    };

    explicit MediaError(const std::string& message, Kind kind = Kind::Failure, int code = 0,
                        std::string codeName = {}, Remedy remedy = Remedy::None)
        : std::runtime_error(message), m_kind(kind), m_code(code), m_codeName(std::move(codeName)),
          m_remedy(remedy) {}
    static MediaError BadArgument(const std::string& message) {
        return MediaError(message, Kind::BadArgument);
    }
    // The same failure, its message prefixed (e.g. with "frame 3: ").
    MediaError Prefixed(const std::string& prefix) const {
        return MediaError(prefix + what(), m_kind, m_code, m_codeName, m_remedy);
    }

    Kind ErrorKind() const { return m_kind; }
    // The decoder's result or the engine's status; 0 for the other kinds.
    int Code() const { return m_code; }
    // The engine status's name ("NoProcessor") or the decoder result's text ("invalid frame (-2)").
    const std::string& CodeName() const { return m_codeName; }
    Remedy Hint() const { return m_remedy; }

private:
    Kind m_kind;
    int m_code;
    std::string m_codeName;
    Remedy m_remedy;
};

} // namespace tsr::media
