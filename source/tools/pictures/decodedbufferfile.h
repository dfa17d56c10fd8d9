// Files that `decode` writes in the raw format: one or more decoded pictures back to back,
// each the 116-byte frame info record followed by rowPitch x height bytes of picture.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "support/filehandle.h"
#include "tsr/media/decodedpicture.h"

namespace tsr::tools {

class DecodedBufferFile {
public:
    // Walks the records; throws ToolError for a file that is not such a sequence or is cut short.
    explicit DecodedBufferFile(const std::string& path);
    DecodedBufferFile(const DecodedBufferFile&) = delete;
    DecodedBufferFile& operator=(const DecodedBufferFile&) = delete;

    int Count() const { return static_cast<int>(m_offsets.size()); }
    void Read(int index, media::DecodedPicture& picture);

private:
    std::string m_path;
    FileHandle m_file;
    std::vector<long> m_offsets, m_sizes;
    std::vector<uint8_t> m_bytes;
};

} // namespace tsr::tools
