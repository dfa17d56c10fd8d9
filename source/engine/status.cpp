#include "status.h"

#include <cstddef>
#include <iterator>

#include "clapi.h"
#include "common/trace.h"

namespace tsr {

namespace {

// The OpenCL column's two markers; OpenCL errors are never positive.
constexpr std::int32_t kNotOpenCL = 1;
constexpr std::int32_t kAnyOtherCLError = 2;

struct StatusRow {
    int code;
    const char* name;
    StatusSource source;
    std::int32_t clError;
    const char* message;
};

constexpr StatusRow kRows[] = {
#define TSR_STATUS_ROW(name, code, source, clError, message)                                                 \
    {code, #name, StatusSource::source, clError, message},
    TSR_ENGINE_STATUSES(TSR_STATUS_ROW)
#undef TSR_STATUS_ROW
};

const StatusRow* Row(int status) {
    for (const StatusRow& row : kRows)
        if (row.code == status) return &row;
    return nullptr;
}

} // namespace

const char* StatusName(int status) {
    const StatusRow* row = Row(status);
    return row ? row->name : nullptr;
}

const char* StatusMessage(int status) {
    const StatusRow* row = Row(status);
    return row ? row->message : nullptr;
}

bool IsChainStatus(int status) {
    const StatusRow* row = Row(status);
    return row && row->source != StatusSource::Entry && row->source != StatusSource::Sharing;
}

bool IsEntryPointStatus(int status) {
    const StatusRow* row = Row(status);
    return row && row->source != StatusSource::Sharing;
}

int StatusForCLError(StatusSource source, std::int32_t error) {
    int other = kStatusOther;
    for (const StatusRow& row : kRows) {
        if (row.source != source) continue;
        if (row.clError == error) return row.code;
        if (row.clError == kAnyOtherCLError) other = row.code;
    }
    return other;
}

HRESULT StatusHResult(int status) {
    return status == kStatusOk ? S_OK : E_FAIL;
}

void TraceStatus(int status) {
    const StatusRow* row = Row(status);
    if (!row) return;
    // The table is ASCII; widened here so that one format reads the same on every C runtime.
    wchar_t name[48] = {}, message[96] = {};
    for (std::size_t i = 0; row->name[i] && i + 1 < std::size(name); ++i) name[i] = row->name[i];
    for (std::size_t i = 0; row->message[i] && i + 1 < std::size(message); ++i) message[i] = row->message[i];
    Trace(L"tsr status %d: %ls, %ls\n", status, name, message);
}

} // namespace tsr
