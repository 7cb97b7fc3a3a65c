#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/text/CWString.h"

// Builds one JSON object on one line: {"slot":"OnCreated","name":"a.txt",...}. Texts are
// written as UTF-8 with the escapes JSON requires; a lone surrogate of a UTF-16 text (NTFS
// names may hold one) is written as its \u escape, so that no name is altered on the way.
class JsonLine {
public:
    explicit JsonLine(std::string_view slot) { Add("slot", slot); }

    // A UTF-8 text.
    JsonLine& Add(std::string_view key, std::string_view text);
    JsonLine& Add(std::string_view key, const CWString& text);
    JsonLine& Add(std::string_view key, std::u16string_view text);
    JsonLine& Add(std::string_view key, std::int64_t number);
    JsonLine& Add(std::string_view key, std::uint64_t number);

    std::string Text() const { return text_ + "}"; }

private:
    void Key(std::string_view key);

    std::string text_ = "{";
};
