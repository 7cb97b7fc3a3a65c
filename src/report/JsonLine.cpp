#include "report/JsonLine.h"

#include <cstdio>

#include "runtime/text/Utf8.h"

namespace {

void AppendEscape(std::string& out, unsigned unit) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", unit);
    out += escaped;
}

// Escapes what JSON does not allow raw in a string; other bytes pass unchanged.
void AppendEscapedAscii(std::string& out, char c) {
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
                AppendEscape(out, static_cast<unsigned char>(c));
            } else {
                out += c;
            }
    }
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        AppendEscapedAscii(out, static_cast<char>(c));
    } else {
        AppendCodePointAsUtf8(out, c);
    }
}

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

void JsonLine::Key(std::string_view key) {
    if (text_.size() > 1) {
        text_ += ',';
    }
    text_ += '"';
    for (const char c : key) {
        AppendEscapedAscii(text_, c);
    }
    text_ += "\":";
}

JsonLine& JsonLine::Add(std::string_view key, std::string_view text) {
    Key(key);
    text_ += '"';
    for (const char c : text) {
        AppendEscapedAscii(text_, c);
    }
    text_ += '"';
    return *this;
}

JsonLine& JsonLine::Add(std::string_view key, const CWString& text) {
    return Add(key, text.View());
}

JsonLine& JsonLine::Add(std::string_view key, std::u16string_view text) {
    Key(key);
    text_ += '"';
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            const char32_t c = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            AppendUtf8(text_, c);
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendEscape(text_, unit);
        } else {
            AppendUtf8(text_, unit);
        }
    }
    text_ += '"';
    return *this;
}

JsonLine& JsonLine::Add(std::string_view key, std::int64_t number) {
    Key(key);
    text_ += std::to_string(number);
    return *this;
}

JsonLine& JsonLine::Add(std::string_view key, std::uint64_t number) {
    Key(key);
    text_ += std::to_string(number);
    return *this;
}
