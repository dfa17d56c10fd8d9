#include "debugcapture.h"

#include <windows.h>

#include <mutex>

namespace {

constexpr DWORD kDebugPrintNarrow = 0x40010006; // DBG_PRINTEXCEPTION_C
constexpr DWORD kDebugPrintWide = 0x4001000A;   // DBG_PRINTEXCEPTION_WIDE_C

std::mutex g_mutex;
std::vector<std::string> g_messages;

LONG CALLBACK CaptureDebugOutput(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    if (record->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
    if (record->ExceptionCode == kDebugPrintNarrow) {
        const auto* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        std::lock_guard<std::mutex> lock(g_mutex);
        g_messages.emplace_back(text ? text : "");
        return EXCEPTION_CONTINUE_SEARCH;
    }
    if (record->ExceptionCode == kDebugPrintWide) {
        const auto* text = reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]);
        std::string narrow;
        for (const wchar_t* c = text; c && *c; ++c) narrow.push_back(*c < 128 ? static_cast<char>(*c) : '?');
        std::lock_guard<std::mutex> lock(g_mutex);
        g_messages.push_back(narrow);
        // Handled here, so the runtime does not repeat the text as a narrow message.
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

DebugOutputCapture::DebugOutputCapture() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_messages.clear();
    m_handler = AddVectoredExceptionHandler(1, CaptureDebugOutput);
}

DebugOutputCapture::~DebugOutputCapture() {
    if (m_handler) RemoveVectoredExceptionHandler(m_handler);
}

std::vector<std::string> DebugOutputCapture::Messages() const {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_messages;
}
