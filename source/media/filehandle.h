// A stdio file closed by its owner's destruction, also when a constructor throws half way.
#pragma once

#include <cstdio>
#include <memory>

namespace tsr::media {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

} // namespace tsr::media
