// Frames in a stream of frames back to back, each starting with its big-endian frameSize and
// "tsrf": where the frame at a position ends, and where the next one starts after a damaged
// stretch. Every reader of such streams (clip files, pipes, parsers) finds frames here, so they
// agree on what a frame is and on where playing resumes after damage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace tsr {

enum class FrameVerdict {
    Whole,       // a plausible frame, all of it present
    NeedMore,    // plausible as far as the bytes go; more bytes are needed to tell
    Implausible, // no frame starts here
};

struct FrameCheck {
    FrameVerdict verdict = FrameVerdict::Implausible;
    // Whole: the frame's length (its frameSize). NeedMore: how many bytes from the position are
    // needed for the next answer (at most the frame's length). Implausible: 0.
    uint64_t size = 0;
};

// Judges the `available` bytes at `data` as the start of a frame. A plausible frame has the
// magic; every rule of the frame header; a frameSize that holds the header, the slice size table
// and the slices it lists; and a frameSize no larger than the header and that table can account
// for (every slice at most 65535 bytes). Fewer bytes than the header and slice size table take
// give NeedMore while what is there fits.
FrameCheck CheckFrameAt(const uint8_t* data, size_t available);

struct FrameSearch {
    // The first position at or after the start where CheckFrameAt is not Implausible, or `size`
    // when there is none.
    size_t offset = 0;
    FrameCheck check;
};

// Scans data[from..size) for the next frame. A NeedMore answer near the end means a frame may
// start there once more bytes arrive: a reader keeps the bytes from `offset` on.
FrameSearch FindFrame(const uint8_t* data, size_t size, size_t from);

// The same over a file of `length` bytes read through `read(offset, out, count)` (which returns
// the bytes it read), reading no more than the verdict needs: a frame whose header and slice size
// table hold every rule and whose frameSize fits the file is Whole without its slices being read.
using ReadAt = std::function<size_t(uint64_t offset, uint8_t* out, size_t count)>;
FrameCheck CheckFrameIn(const ReadAt& read, uint64_t length, uint64_t offset);
// Where the first frame at or after `from` starts that CheckFrameIn finds Whole; `length` when
// there is none. Reads the file in windows, so damage of any length costs little memory.
uint64_t FindFrameIn(const ReadAt& read, uint64_t length, uint64_t from);

} // namespace tsr
