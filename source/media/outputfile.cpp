#include "tsr/media/outputfile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "tsr/media/interruptcleanup.h"
#include "tsr/media/mediaerror.h"

namespace tsr::media {

namespace {

std::string TemporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return folder + "." + name + "." + std::to_string(static_cast<long>(getpid())) + "-" +
           std::to_string(counter++) + ".part";
}

std::mutex g_inputsMutex;
std::vector<std::pair<dev_t, ino_t>> g_inputs;

// Refuses names that cannot be outputs; true when `path` is an existing device or pipe.
bool CheckExistingOutput(const std::string& path) {
    if (path.empty() || path.back() == '/')
        throw MediaError::BadArgument("output name \"" + path + "\" is not a file name");
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return false;
    if (S_ISDIR(status.st_mode)) throw MediaError::BadArgument("output " + path + " is a folder");
    {
        std::lock_guard<std::mutex> hold(g_inputsMutex);
        for (const auto& input : g_inputs)
            if (input.first == status.st_dev && input.second == status.st_ino)
                throw MediaError::BadArgument("output " + path +
                                              " is also an input: refusing to overwrite it");
    }
    return !S_ISREG(status.st_mode);
}

} // namespace

void RegisterInput(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return;
    std::lock_guard<std::mutex> hold(g_inputsMutex);
    g_inputs.emplace_back(status.st_dev, status.st_ino);
}

void CheckOutputPath(const std::string& path) {
    if (CheckExistingOutput(path)) return;
    // A file made and removed again: proves the folder exists and takes new files (permissions,
    // read-only file systems) before hours of work go into an output that cannot be kept.
    const std::string probe = TemporaryNameFor(path);
    const int file = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (file < 0) throw MediaError("cannot write " + path + ": " + std::strerror(errno));
    close(file);
    unlink(probe.c_str());
}

OutputFile::OutputFile(std::string path) : m_path(std::move(path)) {
    m_inPlace = CheckExistingOutput(m_path);
    m_temporaryPath = m_inPlace ? m_path : TemporaryNameFor(m_path);
    if (!m_inPlace) m_registration = RegisterTemporaryFile(m_temporaryPath);
}

OutputFile::~OutputFile() {
    if (!m_committed) Discard();
}

std::FILE* OutputFile::Stream() {
    if (!m_stream) {
        m_stream = std::fopen(m_temporaryPath.c_str(), "wb");
        if (!m_stream) throw MediaError("cannot write " + m_path + ": " + std::strerror(errno));
    }
    return m_stream;
}

void OutputFile::Write(const void* data, size_t size) {
    std::FILE* stream = Stream();
    if (size != 0 && std::fwrite(data, 1, size, stream) != size)
        throw MediaError("cannot write " + m_path + ": " + std::strerror(errno));
}

void OutputFile::Commit() {
    if (m_stream) {
        const bool failed = std::ferror(m_stream) != 0;
        const int closed = std::fclose(m_stream);
        m_stream = nullptr;
        if (failed || closed != 0) throw MediaError("cannot write " + m_path + ": " + std::strerror(errno));
    }
    if (!m_inPlace && std::rename(m_temporaryPath.c_str(), m_path.c_str()) != 0)
        throw MediaError("cannot write " + m_path + ": " + std::strerror(errno));
    m_committed = true;
    UnregisterTemporaryFile(m_registration);
}

void OutputFile::Discard() {
    if (m_stream) {
        std::fclose(m_stream);
        m_stream = nullptr;
    }
    if (m_inPlace) return;
    UnregisterTemporaryFile(m_registration);
    std::remove(m_temporaryPath.c_str());
}

} // namespace tsr::media
