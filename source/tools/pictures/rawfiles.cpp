// Raw files: the bytes exactly as the decoder (record, then picture) or the engine (RGBA) wrote them.
#include "pictures/pictureformats.h"
#include "tsr/media/outputfile.h"

namespace tsr::tools {

namespace {

void WriteBytes(const std::string& path, const uint8_t* bytes, size_t size) {
    media::OutputFile output(path);
    output.Write(bytes, size);
    output.Commit();
}

} // namespace

void WriteRawDecoded(const media::DecodedPicture& picture, const std::string& path) {
    WriteBytes(path, picture.Bytes(), picture.Size());
}

void WriteRawRgba(const media::RgbaFrame& frame, const std::string& path, const PictureWriteOptions&) {
    WriteBytes(path, frame.bytes.data(), frame.bytes.size());
}

} // namespace tsr::tools
