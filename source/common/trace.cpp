#include "trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tsr {
namespace {
std::atomic<TraceSink> g_sink{nullptr};
std::atomic<void*> g_sinkContext{nullptr};
} // namespace

TraceSink SetTraceSink(TraceSink sink, void* context) {
    g_sinkContext.store(context);
    return g_sink.exchange(sink);
}

void Trace(const wchar_t* format, ...) {
    wchar_t buffer[kTraceBufferChars];
    va_list args;
    va_start(args, format);
    const int written = std::vswprintf(buffer, kTraceBufferChars, format, args);
    va_end(args);
    if (written < 0 || written >= kTraceBufferChars) return; // does not fit: dropped
#ifdef _WIN32
    OutputDebugStringW(buffer);
#endif
    if (TraceSink sink = g_sink.load()) sink(buffer, g_sinkContext.load());
}

void Console(ConsoleStream stream, const char* format, ...) {
    std::FILE* file = stream == ConsoleStream::Error ? stderr : stdout;
    va_list args;
    va_start(args, format);
    std::vfprintf(file, format, args);
    va_end(args);
    std::fflush(file);
}

} // namespace tsr
