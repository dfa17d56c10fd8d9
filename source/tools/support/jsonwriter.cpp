#include "support/jsonwriter.h"

#include <cmath>
#include <cstdio>

namespace tsr::tools {

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x",
                              static_cast<unsigned>(static_cast<unsigned char>(c)));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

} // namespace

void JsonWriter::Key(const char* key) {
    if (!m_first.empty()) {
        if (!m_first.back()) m_text += ",";
        m_first.back() = false;
        if (m_inline.back())
            m_text += m_text.back() == '[' ? "" : " ";
        else
            m_text += "\n" + std::string(2 * m_first.size(), ' ');
    }
    if (key) m_text += Quoted(key) + ": ";
}

void JsonWriter::Open(const char* key, char bracket, bool inlined) {
    Key(key);
    m_text += bracket;
    m_first.push_back(true);
    m_inline.push_back(inlined);
}

void JsonWriter::Close(char bracket) {
    const bool empty = m_first.back(), inlined = m_inline.back();
    m_first.pop_back();
    m_inline.pop_back();
    if (inlined) {
        m_text += bracket;
        return;
    }
    if (!empty) m_text += "\n" + std::string(2 * m_first.size(), ' ');
    m_text += bracket;
    if (m_first.empty()) m_text += "\n";
}

void JsonWriter::BeginObject(const char* key) {
    Open(key, '{', false);
}
void JsonWriter::EndObject() {
    Close('}');
}
void JsonWriter::BeginArray(const char* key) {
    Open(key, '[', true);
}
void JsonWriter::EndArray() {
    Close(']');
}

void JsonWriter::Integer(const char* key, long long value) {
    Key(key);
    m_text += std::to_string(value);
}

void JsonWriter::Number(const char* key, double value) {
    Key(key);
    if (!std::isfinite(value)) {
        m_text += "null";
        return;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    m_text += text;
}

void JsonWriter::String(const char* key, const std::string& value) {
    Key(key);
    m_text += Quoted(value);
}

void JsonWriter::Boolean(const char* key, bool value) {
    Key(key);
    m_text += value ? "true" : "false";
}

} // namespace tsr::tools
