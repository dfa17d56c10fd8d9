// The slice size table that follows a frame's header: one big-endian u16 a slice, in the order
// of the partition (macroblock rows, each cut into power-of-two slices, the largest first), then
// the slices' bytes back to back. The decoder walks it to find its slices; the tools walk it to
// check that a frame's bytes hold what its header claims before they allocate a picture for it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/bytereader.h"
#include "format/frameformat.h"

namespace tsr {

struct SliceSpan {
    int row;             // macroblock row
    int firstMacroblock; // in the row
    int log2Width;       // macroblocks
    size_t offset;       // of the slice's bytes (the end of the bytes once they run out)
    uint32_t size;       // as the table says
};

// Whether `size` bytes hold a table of `sliceCount` entries at `table`. Checked before anything is
// sized by the count: a few bytes claiming a huge picture would otherwise cost memory per slice.
inline bool SliceTablePresent(size_t size, size_t table, size_t sliceCount) {
    return table <= size && (size - table) / 2 >= sliceCount;
}

// Calls fn(span) for every slice of a picture of mbWidth x mbHeight macroblocks, in table order,
// with the table at `table` in `data`. Returns false when the table or the slices it lists run
// past `size` bytes (fn is not called when the table itself does not fit).
template <typename Fn>
bool WalkSliceTable(const uint8_t* data, size_t size, size_t table, int mbWidth, int mbHeight,
                    int log2SliceWidth, Fn&& fn) {
    const size_t count =
        static_cast<size_t>(SlicesPerRow(mbWidth, log2SliceWidth)) * static_cast<size_t>(mbHeight);
    if (!SliceTablePresent(size, table, count)) return false;
    ByteReader entries(data, size);
    entries.Skip(table);
    ByteReader slices(data, size);
    slices.Skip(table + 2 * count);
    for (int row = 0; row < mbHeight; ++row)
        ForEachSliceInRow(mbWidth, log2SliceWidth, [&](int firstMacroblock, int log2Width) {
            const uint32_t sliceSize = entries.U16();
            const size_t offset = slices.Position();
            slices.Skip(sliceSize);
            fn(SliceSpan{row, firstMacroblock, log2Width, offset, sliceSize});
        });
    return !entries.Failed() && !slices.Failed();
}

} // namespace tsr
