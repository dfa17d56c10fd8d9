#include "pictures/decodedbufferfile.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include "support/toolerror.h"
#include "tsr/media/outputfile.h"

namespace tsr::tools {

using namespace media;

DecodedBufferFile::DecodedBufferFile(const std::string& path) : m_path(path) {
    m_file.reset(std::fopen(path.c_str(), "rb"));
    if (!m_file) throw ToolError("cannot open " + path + ": " + std::strerror(errno));
    RegisterInput(path);
    if (std::fseek(m_file.get(), 0, SEEK_END) != 0) throw ToolError("cannot read " + path);
    const long length = std::ftell(m_file.get());
    long offset = 0;
    while (offset < length) {
        const std::string name = path + " (picture " + std::to_string(m_offsets.size()) + ")";
        TsrFrameInfoRecord record;
        if (length - offset < static_cast<long>(sizeof record))
            throw ToolError(name + " is truncated: too short for a frame info record");
        if (std::fseek(m_file.get(), offset, SEEK_SET) != 0 ||
            std::fread(&record, sizeof record, 1, m_file.get()) != 1)
            throw ToolError("cannot read " + path);
        const bool mosaic = record.layoutCode == TSR_LAYOUT_BP16;
        if (!mosaic && record.layoutCode != TSR_LAYOUT_BP64)
            throw ToolError(
                name + " does not start with a frame info record; decode writes these with --format raw");
        const long long rowBytes = static_cast<long long>(record.width) * (mosaic ? 2 : 8);
        const long long picture = static_cast<long long>(record.rowPitch) * record.height;
        if (record.width <= 0 || record.height <= 0 || record.rowPitch < rowBytes || picture > INT_MAX)
            throw ToolError(name + ": the frame info record has an impossible size or row pitch");
        const long long size = static_cast<long long>(sizeof record) + picture;
        if (size > length - offset)
            throw ToolError(name + " is truncated (needs " + std::to_string(size) + " bytes, " +
                            std::to_string(length - offset) + " left)");
        m_offsets.push_back(offset);
        m_sizes.push_back(static_cast<long>(size));
        offset += static_cast<long>(size);
    }
    if (m_offsets.empty()) throw ToolError(path + " is empty");
}

void DecodedBufferFile::Read(int index, DecodedPicture& picture) {
    const size_t i = static_cast<size_t>(index);
    m_bytes.resize(static_cast<size_t>(m_sizes[i]));
    if (std::fseek(m_file.get(), m_offsets[i], SEEK_SET) != 0 ||
        std::fread(m_bytes.data(), 1, m_bytes.size(), m_file.get()) != m_bytes.size())
        throw ToolError("cannot read " + m_path);
    picture.Adopt(m_bytes.data(), m_bytes.size(), m_path.c_str());
}

} // namespace tsr::tools
