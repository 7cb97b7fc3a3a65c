#include "JsonLine.h"

#include <cstdio>

#include "runtime/text/Utf8.h"

namespace {

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
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
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x",
                                  static_cast<unsigned char>(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

}  // namespace

void JsonLine::Key(std::string_view key) {
    if (text_.size() > 1) {
        text_ += ',';
    }
    AppendQuoted(text_, key);
    text_ += ':';
}

JsonLine& JsonLine::Add(std::string_view key, std::string_view text) {
    Key(key);
    AppendQuoted(text_, text);
    return *this;
}

JsonLine& JsonLine::Add(std::string_view key, const CWString& text) {
    return Add(key, ToUtf8(text));
}

JsonLine& JsonLine::Add(std::string_view key, std::int64_t number) {
    Key(key);
    text_ += std::to_string(number);
    return *this;
}
