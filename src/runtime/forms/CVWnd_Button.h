#pragma once

#include <atomic>

#include "runtime/forms/CVWnd.h"
#include "runtime/forms/IButtonEventListener.h"
#include "runtime/forms/SystemColour.h"
#include "runtime/win32/ScopedResource.h"

// The native window object of a push button or check box: a subclassed "BUTTON" whose
// parent reflects its clicks and colour requests to it. It keeps a copy of the check state
// that any thread may read without waiting for the window's thread: taken after every
// BM_SETCHECK and every click, the two ways the state changes.
class CVWnd_Button : public CVWnd {
public:
    CVWnd_Button();

    void SetListener(IButtonEventListener* listener);

    // BST_CHECKED, BST_UNCHECKED or BST_INDETERMINATE as the window's thread last saw it.
    int CheckState() const { return checkState_.load(std::memory_order_acquire); }
    // Takes the copy afresh from the window, on the window's thread.
    void NoteCheckState();

    // Both follow the system's colours (button text, button face) unless set to others,
    // so that a high-contrast theme reaches the captions.
    COLORREF TextColour() const { return textColour_; }
    void SetTextColour(COLORREF colour) { textColour_ = colour; }
    COLORREF BackColour() const { return backColour_; }
    void SetBackColour(COLORREF colour);
    HBRUSH BackBrush() const { return brush_.Get(); }

protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnReflectedCommand(UINT code) override;
    HBRUSH OnReflectedCtlColor(UINT message, HDC dc) override;

private:
    IButtonEventListener* buttonListener_ = nullptr;
    COLORREF textColour_ = kSystemColour;
    COLORREF backColour_ = kSystemColour;
    ScopedBrush brush_;
    std::atomic<int> checkState_{BST_UNCHECKED};
};
