#pragma once

// Reads back the JSON lines the programs write: one flat object a line.

#include <map>
#include <string>

#include "runtime/text/Utf8.h"

namespace json_test {

// One flat JSON object as its keys and values: texts decoded (to UTF-8; a lone surrogate
// escape becomes U+FFFD), numbers as their digits. Empty when the line is not such an object.
using JsonObject = std::map<std::string, std::string>;

inline bool ParseJsonObject(const std::string& line, JsonObject& object) {
    std::size_t i = 0;
    const auto peek = [&] { return i < line.size() ? line[i] : '\0'; };
    const auto text = [&](std::string& out) {
        if (peek() != '"') {
            return false;
        }
        ++i;
        std::u16string units;
        while (i < line.size() && line[i] != '"') {
            if (line[i] != '\\') {
                const std::size_t start = i;
                while (i < line.size() && line[i] != '"' && line[i] != '\\') {
                    if (static_cast<unsigned char>(line[i]) < 0x20) {
                        return false;  // raw control characters are not JSON
                    }
                    ++i;
                }
                units += FromUtf8(line.substr(start, i - start));
                continue;
            }
            if (++i >= line.size()) {
                return false;
            }
            const char escape = line[i++];
            switch (escape) {
                case '"':
                    units += u'"';
                    break;
                case '\\':
                    units += u'\\';
                    break;
                case '/':
                    units += u'/';
                    break;
                case 'n':
                    units += u'\n';
                    break;
                case 'r':
                    units += u'\r';
                    break;
                case 't':
                    units += u'\t';
                    break;
                case 'b':
                    units += u'\b';
                    break;
                case 'f':
                    units += u'\f';
                    break;
                case 'u': {
                    if (i + 4 > line.size()) {
                        return false;
                    }
                    units += static_cast<char16_t>(std::stoi(line.substr(i, 4), nullptr, 16));
                    i += 4;
                    break;
                }
                default:
                    return false;
            }
        }
        if (peek() != '"') {
            return false;
        }
        ++i;
        out = ToUtf8(units);
        return true;
    };
    object.clear();
    if (peek() != '{') {
        return false;
    }
    ++i;
    while (peek() != '}') {
        std::string key;
        std::string value;
        if (!text(key) || peek() != ':') {
            return false;
        }
        ++i;
        if (peek() == '"') {
            if (!text(value)) {
                return false;
            }
        } else {
            const std::size_t start = i;
            if (peek() == '-') {
                ++i;
            }
            while (peek() >= '0' && peek() <= '9') {
                ++i;
            }
            value = line.substr(start, i - start);
            if (value.empty() || value == "-") {
                return false;
            }
        }
        if (!object.emplace(key, value).second) {
            return false;
        }
        if (peek() == ',') {
            ++i;
        } else if (peek() != '}') {
            return false;
        }
    }
    return i + 1 == line.size();
}

}  // namespace json_test
