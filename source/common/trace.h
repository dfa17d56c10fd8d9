// Diagnostic trace shared by every library of the project.
//
// A printf-style wide format is rendered into a buffer of 512 wide characters; a message that
// does not fit is dropped whole. On Windows the text goes to OutputDebugStringW. Elsewhere it goes
// to the installed sink (none by default), which lets tests and tools capture it.
#pragma once

#include <cwchar>

namespace tsr {

constexpr int kTraceBufferChars = 512;

using TraceSink = void (*)(const wchar_t* message, void* context);

void Trace(const wchar_t* format, ...);

// Lines for the person running the program rather than for a debugger (timings asked for, a
// forced code path): formatted like printf and written at once to standard output or standard
// error. The one place where library code writes to either stream.
enum class ConsoleStream { Output, Error };
void Console(ConsoleStream stream, const char* format, ...);

// Installs the sink for platforms without a debugger channel; null removes it. Returns the
// previous sink. Not meant to be switched while other threads trace.
TraceSink SetTraceSink(TraceSink sink, void* context);

} // namespace tsr
