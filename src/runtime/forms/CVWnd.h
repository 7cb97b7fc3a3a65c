#pragma once

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>

#include "runtime/forms/CVolWindowProcFilters.h"
#include "runtime/forms/ControlCreateInfo.h"
#include "runtime/forms/IBaseEventListener.h"
#include "runtime/text/CVolObject.h"

class CRefObject;

// The native window object of a control: one platform window, the object that receives
// its messages, and the one window procedure all of them share.
//
// A window of one of the runtime's own classes is bound to its object at WM_NCCREATE (the
// object comes in the creation parameter); a window of a standard class ("BUTTON", "EDIT")
// is bound right after it is created and subclassed, its original procedure doing the
// default processing. The binding is a window property, so that GWLP_USERDATA stays free
// for the window marker. It ends at WM_NCDESTROY.
//
// Every message then goes through four steps, in this order:
//   1. the runtime's private messages that carry the window marker are answered here;
//   2. the window's filters, newest first; one that handles the message ends it;
//   3. the listener's message operation (not for WM_SETFOCUS and WM_KILLFOCUS);
//   4. the kind's own handlers (OnMessage), which call the listener's other operations,
//      then the default processing.
// A parent reflects WM_COMMAND notifications and WM_CTLCOLOR* messages of its children to
// the child's object, which turns them into its events and colours.
class CVWnd : public CVolObject {
public:
    CVWnd() = default;
    CVWnd(const CVWnd&) = delete;
    CVWnd& operator=(const CVWnd&) = delete;
    // Unbinds a window that still exists; destroying it is the holder's work.
    ~CVWnd() override;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The object bound to the window, or none.
    static CVWnd* FromHandle(HWND window);

    // The platform window, none before creation and after destruction. Safe to read on
    // any thread; handlers on worker threads check it before they send a message.
    HWND Handle() const { return window_.load(std::memory_order_acquire); }

    CVolWindowProcFilters& Filters() { return filters_; }
    const CVolWindowProcFilters& Filters() const { return filters_; }
    IBaseEventListener* Listener() const { return listener_; }
    int Group() const { return group_; }
    void SetGroup(int group) { group_ = group; }
    bool VisibleFlag() const { return visible_; }

    // The holder that owns this object. Each message holds a reference to it, so that a
    // handler that releases the control's last reference does not pull the object away
    // from under the message being processed. None while the holder goes away.
    void SetKeeper(CRefObject* keeper) { keeper_ = keeper; }

    // Runs `step`, a creation of this object's window up to its first show, so that an
    // error thrown by a handler of the window's messages meanwhile does not unwind through
    // the platform's frames: the first such error is kept, and once `step` has returned the
    // window is destroyed and the error thrown again. A nested call runs within the
    // outermost one. At any other time such an error ends the process.
    bool CaptureErrorsDuring(const std::function<bool()>& step);

    // Creates a window of one of the runtime's own classes (registered on first use).
    bool CreateOwnClassWindow(const wchar_t* className, const ControlCreateInfo& info);
    // Creates a window of a standard class and subclasses it.
    bool CreateStandardWindow(const wchar_t* className, const ControlCreateInfo& info);

protected:
    void SetBaseListener(IBaseEventListener* listener) { listener_ = listener; }

    // Step 4: the kind's own handlers. This one reflects the children's notifications and
    // colour requests, then does the default processing.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The original procedure of a subclassed window, or DefWindowProc.
    LRESULT DefaultProcessing(UINT message, WPARAM wParam, LPARAM lParam);

    // A WM_COMMAND notification of this window, reflected by its parent: true when handled.
    virtual bool OnReflectedCommand(UINT /*code*/) { return false; }
    // A WM_CTLCOLOR* request for this window, reflected by its parent: the brush, or none to
    // leave it to the parent's default processing.
    virtual HBRUSH OnReflectedCtlColor(UINT /*message*/, HDC /*dc*/) { return nullptr; }

private:
    class KeeperReference;

    bool CreateWindowFor(const wchar_t* className, const ControlCreateInfo& info, bool ownClass);
    LRESULT Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Process(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT ProcessFinalMessage(HWND window, WPARAM wParam, LPARAM lParam);
    bool AnswerPrivateMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Reflect(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    void Attach(HWND window);
    void Detach();

    std::atomic<HWND> window_{nullptr};
    WNDPROC originalProc_ = nullptr;
    CVolWindowProcFilters filters_;
    IBaseEventListener* listener_ = nullptr;
    int group_ = -1;
    bool visible_ = false;
    CRefObject* keeper_ = nullptr;
    // An error thrown by a handler while this object's window is being created: carried
    // out of the platform's calls and thrown again by the creating call.
    bool capturing_ = false;
    std::exception_ptr capturedError_;
};
