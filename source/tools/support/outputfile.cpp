#include "support/outputfile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "support/interruptcleanup.h"
#include "support/toolerror.h"

namespace tsr::tools {

namespace {

std::string TemporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return folder + "." + name + "." + std::to_string(static_cast<long>(getpid())) + "-" +
           std::to_string(counter++) + ".part";
}

} // namespace

OutputFile::OutputFile(std::string path)
    : m_path(std::move(path)), m_temporaryPath(TemporaryNameFor(m_path)) {
    if (m_path.empty() || m_path.back() == '/')
        throw UsageError("output name \"" + m_path + "\" is not a file name");
    m_registration = RegisterTemporaryFile(m_temporaryPath);
}

OutputFile::~OutputFile() {
    if (!m_committed) Discard();
}

std::FILE* OutputFile::Stream() {
    if (!m_stream) {
        m_stream = std::fopen(m_temporaryPath.c_str(), "wb");
        if (!m_stream) throw ToolError("cannot write " + m_path + ": " + std::strerror(errno));
    }
    return m_stream;
}

void OutputFile::Write(const void* data, size_t size) {
    std::FILE* stream = Stream();
    if (size != 0 && std::fwrite(data, 1, size, stream) != size)
        throw ToolError("cannot write " + m_path + ": " + std::strerror(errno));
}

void OutputFile::Commit() {
    if (m_stream) {
        const bool failed = std::ferror(m_stream) != 0;
        const int closed = std::fclose(m_stream);
        m_stream = nullptr;
        if (failed || closed != 0) throw ToolError("cannot write " + m_path + ": " + std::strerror(errno));
    }
    if (std::rename(m_temporaryPath.c_str(), m_path.c_str()) != 0)
        throw ToolError("cannot write " + m_path + ": " + std::strerror(errno));
    m_committed = true;
    UnregisterTemporaryFile(m_registration);
}

void OutputFile::Discard() {
    if (m_stream) {
        std::fclose(m_stream);
        m_stream = nullptr;
    }
    UnregisterTemporaryFile(m_registration);
    std::remove(m_temporaryPath.c_str());
}

} // namespace tsr::tools
