#pragma once

#include <vector>

#include "CVolObject.h"
#include "CWString.h"

// Ordered list of texts, as handed to a watch. Reading past the end gives an empty text,
// so an absent element counts as empty.
class CMStringArray : public CVolObject {
public:
    CMStringArray() = default;
    CMStringArray(std::initializer_list<CWString> items) : items_(items) {}

    void Add(const CWString& text) { items_.push_back(text); }
    int Count() const { return static_cast<int>(items_.size()); }
    bool IsEmpty() const { return items_.empty(); }
    const CWString& At(int index) const;

private:
    std::vector<CWString> items_;
};
