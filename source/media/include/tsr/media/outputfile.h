// An output that appears under its final name only when complete. Everything is written to a
// hidden temporary name in the same folder ("<folder>/.<name>.<pid>-<n>.part"); Commit renames
// it into place, and destruction without Commit removes it. A run that fails or is killed half
// way therefore never leaves a file that looks finished.
//
// An existing output that is not a regular file (a device, a pipe) is written in place and never
// renamed over or removed. An output that is one of the run's inputs is refused.
//
//   tsr::media::OutputFile out("take1.raw");
//   out.Write(bytes.data(), bytes.size());   // throws MediaError naming the file
//   out.Commit();                            // now, and only now, take1.raw exists
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "tsr/media/mediaerror.h"

namespace tsr::media {

// Notes a file the run reads; outputs naming the same file are refused from then on.
void RegisterInput(const std::string& path);

// Checks before any work that `path` can be written: not a folder, not an input, and, unless it
// is an existing device or pipe, in a folder that takes a new file. Throws MediaError naming it.
void CheckOutputPath(const std::string& path);

class OutputFile {
public:
    explicit OutputFile(std::string path);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    const std::string& Path() const { return m_path; }
    // Where writers that take a file name write.
    const std::string& TemporaryPath() const { return m_temporaryPath; }

    // A stdio stream on the temporary file, opened on first use.
    std::FILE* Stream();
    void Write(const void* data, size_t size);

    // Closes the stream and renames the temporary file to the final name.
    void Commit();

private:
    void Discard();

    std::string m_path;
    std::string m_temporaryPath;
    std::FILE* m_stream = nullptr;
    bool m_committed = false;
    bool m_inPlace = false;  // an existing device or pipe: no temporary, no rename
    int m_registration = -1; // removal on interrupt
};

} // namespace tsr::media
