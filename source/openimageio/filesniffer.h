// Telling a Tessel RAW file by its first bytes and, for QuickTime, its atom headers: what the
// plug-in's valid_file answers, without opening a clip reader or reading any frame.
#pragma once

#include <cstdint>
#include <string>

namespace tsr::oiio {

enum class SniffResult {
    NotOurs,
    Frames,   // a frame, or frames back to back: the file starts with a frame's size and magic
    QuickTime // a QuickTime file with a video sample description of type tsrn or tsrh
};

// Reads at most a few hundred bytes of atom headers, whatever the file's size: atoms are skipped
// by seeking, and the walk gives up after a fixed number of atoms.
SniffResult SniffFile(const std::string& path);

} // namespace tsr::oiio
