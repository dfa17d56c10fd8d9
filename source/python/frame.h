// One compressed frame and what the module makes of it: its records, the decoder's picture at
// any scale, and the engine's RGBA. Decodes run on leased decoders without the GIL; the info
// record of the frame's own scale is kept once a decode has made it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "python/ownedarray.h"
#include "tsr/framerecords.h"
#include "tsr/media/rgbaengine.h"

namespace tsr::media {
class DecodedPicture;
}

namespace tsr::python {

// A picture in host memory: rows of `width` pixels of `channels` samples, no padding.
struct PictureBuffer {
    HostBuffer bytes;
    int width = 0, height = 0, channels = 0;
};

// What a clip's frames tell and give back to their clip: the scale of each decode asked for (the
// clip decodes the next frame at it), and decoded pictures done with (for the next decode).
class FrameOwner {
public:
    virtual ~FrameOwner() = default;
    virtual void ScaleAskedFor(int scale) = 0;
    virtual void GiveBack(std::unique_ptr<media::DecodedPicture> picture) = 0;
};

class Frame {
public:
    // `index`: the frame's place in its clip, or -1 for a frame on its own. `scale`: the scale
    // index of info() and of pictures asked for without one. `owner`: the clip's, when alive.
    Frame(std::shared_ptr<const std::vector<uint8_t>> bytes, int index, int scale,
          std::weak_ptr<FrameOwner> owner = {});
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;
    ~Frame();

    // Decodes at the frame's scale now, so that a refused frame raises here; keeps the picture
    // for the first bayer() or process() at that scale. Without the GIL.
    void DecodeNow();
    // Decodes at `scale` into `picture` (recycled, or null) and keeps it for the first bayer() or
    // process() at that scale; false (nothing kept) when the decoder refuses the frame, whose
    // first use then raises. Without the GIL.
    bool DecodeAhead(int scale, std::unique_ptr<media::DecodedPicture> picture);

    int Index() const { return m_index; }
    int Scale() const { return m_scale; }
    const std::vector<uint8_t>& Bytes() const { return *m_bytes; }
    // The info record of a decode at the frame's scale (decoding once if none has run yet).
    TsrFrameInfoRecord Info();
    // Throws media::MediaError when the header cannot be read.
    TsrFrameMetadataRecord Metadata() const;
    // "" for a whole frame; else what is damaged: slices the decoder skips, or why it refuses
    // the frame.
    std::string Damaged();

    // The decoder's output at `scale`: u16 samples, one a photosite at scale 0, four a pixel
    // (red, green, blue, 65535) at 1..3. Without the GIL.
    PictureBuffer Bayer(int scale);
    // The engine's RGBA (four halves or floats a pixel) of the picture at `scale`. Without the GIL.
    PictureBuffer Process(int scale, const media::DebayerSettings& settings,
                          const media::EngineChoice& engine);

private:
    // "frame 3", or "" for a frame on its own.
    std::string Name() const;
    // Runs `use(picture)` on the decoded picture at `scale`: the kept one, or a fresh decode on a
    // leased decoder. Throws media::MediaError (Kind::Decoder) for a refused frame.
    template <typename Use> void WithPicture(int scale, Use&& use);
    void GiveBack(std::unique_ptr<media::DecodedPicture> picture) const;

    std::shared_ptr<const std::vector<uint8_t>> m_bytes;
    int m_index, m_scale;
    std::weak_ptr<FrameOwner> m_owner;
    std::mutex m_mutex; // guards the members below
    std::optional<TsrFrameInfoRecord> m_info;
    std::unique_ptr<media::DecodedPicture> m_kept; // from DecodeNow, until used
};

// In a child just forked from this process (which has no worker threads but the one that
// forked): decoders and engines start anew.
void StartPoolsInChild();

} // namespace tsr::python
