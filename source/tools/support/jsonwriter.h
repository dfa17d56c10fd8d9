// A small streaming JSON writer for `info --json`: objects, arrays, numbers, strings, booleans,
// with commas and indentation handled.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tsr::tools {

class JsonWriter {
public:
    void BeginObject(const char* key = nullptr);
    void EndObject();
    void BeginArray(const char* key = nullptr);
    void EndArray();
    void Integer(const char* key, long long value);
    void Number(const char* key, double value); // non-finite values are written as null
    void String(const char* key, const std::string& value);
    void Boolean(const char* key, bool value);
    template <typename T> void IntegerArray(const char* key, const T& values) {
        BeginArray(key);
        for (const auto& v : values) Integer(nullptr, static_cast<long long>(v));
        EndArray();
    }
    template <typename T> void NumberArray(const char* key, const T& values) {
        BeginArray(key);
        for (const auto& v : values) Number(nullptr, static_cast<double>(v));
        EndArray();
    }

    const std::string& Text() const { return m_text; }

private:
    void Key(const char* key);
    // Objects break their members over indented lines; arrays stay on one line.
    void Open(const char* key, char bracket, bool inlined);
    void Close(char bracket);
    std::string m_text;
    std::vector<bool> m_first;  // per open container: nothing written in it yet
    std::vector<bool> m_inline; // arrays of scalars stay on one line
};

} // namespace tsr::tools
