#include "CMStringArray.h"

const CWString& CMStringArray::At(int index) const {
    static const CWString empty;
    if (index < 0 || index >= Count()) {
        return empty;
    }
    return items_[static_cast<std::size_t>(index)];
}
