// C runtime functions that MinGW-w64's msvcrt.dll import library lacks.
//
// msvcrt.dll has no _dupenv_s; portable code that reads the environment the secure way still has
// to link. This supplies the import pointer the compiler's declaration refers to.
#if defined(__MINGW32__) && !defined(_UCRT)

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

errno_t __cdecl DuplicateEnvironmentValue(char** buffer, size_t* size, const char* name) {
    if (!buffer || !name) return EINVAL;
    *buffer = nullptr;
    if (size) *size = 0;
    const char* value = std::getenv(name);
    if (!value) return 0;
    const size_t bytes = std::strlen(value) + 1;
    char* copy = static_cast<char*>(std::malloc(bytes));
    if (!copy) return ENOMEM;
    std::memcpy(copy, value, bytes);
    *buffer = copy;
    if (size) *size = bytes;
    return 0;
}

} // namespace

extern "C" {
errno_t(__cdecl* __imp__dupenv_s)(char**, size_t*, const char*) = DuplicateEnvironmentValue;
}

#endif
