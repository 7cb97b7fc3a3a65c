#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/text/CWString.h"

// Builds one JSON object on one line: {"slot":"OnCreated","name":"a.txt",...}.
class JsonLine {
public:
    explicit JsonLine(std::string_view slot) { Add("slot", slot); }

    JsonLine& Add(std::string_view key, std::string_view text);
    JsonLine& Add(std::string_view key, const CWString& text);
    JsonLine& Add(std::string_view key, std::int64_t number);

    std::string Text() const { return text_ + "}"; }

private:
    void Key(std::string_view key);

    std::string text_ = "{";
};
