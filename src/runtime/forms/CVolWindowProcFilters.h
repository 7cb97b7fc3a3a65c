#pragma once

#include <windows.h>

#include <vector>

#include "runtime/forms/IWindowProcFilter.h"
#include "runtime/text/CVolObject.h"

// The filters of one native window, newest first. They see each message before the
// window's listener and its own handlers; the first that handles it ends its processing.
// The list does not own its filters.
class CVolWindowProcFilters : public CVolObject {
public:
    void Clear() { filters_.clear(); }
    // Puts the filter at the front, so the filter added last runs first; a filter already
    // in the list keeps its place.
    void Add(IWindowProcFilter* filter);
    // Removes the filter and answers whether it was there. None empties the list.
    bool Remove(IWindowProcFilter* filter);
    // Offers the message to the filters front to back; answers whether one handled it.
    // A filter may add or remove filters while it runs: one removed meanwhile is not
    // called, one added meanwhile first sees the next message.
    bool Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) const;

    int Count() const { return static_cast<int>(filters_.size()); }
    bool Contains(const IWindowProcFilter* filter) const;

private:
    std::vector<IWindowProcFilter*> filters_;
};
