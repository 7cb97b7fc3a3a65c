#pragma once

#include "CWString.h"

// A text built directly on a literal: borrows it without copying. Captions, kind texts
// and separators are passed this way.
class CWConstString : public CWString {
public:
    explicit CWConstString(const char16_t* literal) : CWString(literal, true) {}
};
