// Captures what the process writes with OutputDebugString while the object lives, through a
// vectored exception handler: debug output travels as a first-chance exception that such a
// handler sees before anything else.
#pragma once

#include <string>
#include <vector>

class DebugOutputCapture {
public:
    DebugOutputCapture();
    ~DebugOutputCapture();
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    std::vector<std::string> Messages() const;

private:
    void* m_handler = nullptr;
};
