#include "runtime/forms/CVolWindowProcFilters.h"

#include <algorithm>

void CVolWindowProcFilters::Add(IWindowProcFilter* filter) {
    if (filter == nullptr || Contains(filter)) {
        return;
    }
    filters_.insert(filters_.begin(), filter);
}

bool CVolWindowProcFilters::Remove(IWindowProcFilter* filter) {
    if (filter == nullptr) {
        filters_.clear();
        return true;
    }
    const auto found = std::find(filters_.begin(), filters_.end(), filter);
    if (found == filters_.end()) {
        return false;
    }
    filters_.erase(found);
    return true;
}

bool CVolWindowProcFilters::Contains(const IWindowProcFilter* filter) const {
    return std::find(filters_.begin(), filters_.end(), filter) != filters_.end();
}

bool CVolWindowProcFilters::Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     LRESULT* result) const {
    if (window == nullptr || filters_.empty()) {
        return false;
    }
    // The filters run user code that may change the list: walk a copy, and skip a filter
    // that has left the list since, as it may no longer exist.
    const std::vector<IWindowProcFilter*> snapshot = filters_;
    for (IWindowProcFilter* filter : snapshot) {
        if (!Contains(filter)) {
            continue;
        }
        LRESULT answer = 0;
        if (filter->FilterMessage(window, message, wParam, lParam, &answer)) {
            if (result != nullptr) {
                *result = answer;
            }
            return true;
        }
    }
    return false;
}
