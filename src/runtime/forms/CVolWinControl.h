#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "runtime/events/EventSlot.h"
#include "runtime/forms/CMfcWndObject.h"
#include "runtime/forms/ControlCreateInfo.h"
#include "runtime/text/CVolObject.h"
#include "runtime/text/CWString.h"

class CVolWinContainer;

// The base of every control kind. A control is a plain object (an owner holds it as a
// member) that refers to its native window object through one reference to a holder.
// Properties set before the window exists are kept and applied when it is created; set
// afterwards, they go straight to the window. Everything runs on the window's thread,
// except GetText and the kinds' reading operations, which only send messages.
class CVolWinControl : public CVolObject {
public:
    CVolWinControl(const CVolWinControl&) = delete;
    CVolWinControl& operator=(const CVolWinControl&) = delete;
    ~CVolWinControl() override;

    // Creates the window as a child of the parent's window (when it has one) at a place and
    // size already scaled for the display. False when the window exists already or cannot
    // be created.
    bool Create(CVolWinContainer* parent, int x, int y, int width, int height, std::uint32_t id);
    // The creation protocol itself, from a filled record.
    bool Create(ControlCreateInfo& info);

    // The native window, none before creation and after destruction.
    HWND Handle() const { return holder_->Window().Handle(); }
    CVWnd& NativeWindow() const { return holder_->Window(); }
    CMfcWndObject& Holder() const { return *holder_; }

    // The window text, or the caption the window will be created with.
    void SetCaption(const CWString& text);
    CWString GetText() const;
    // Enables or disables the window, or the window to be created.
    void SetEnabled(bool enabled);
    bool IsEnabled() const;
    // Gives the control a new font of its kind at another resolution, for a window moved
    // to a monitor of another scale; the window is redrawn with it.
    void SetFontResolution(int dotsPerInch);

    // Routes the native window's messages to this control's events. Binding an event does
    // not do it by itself: bind, then attach. A control without a listener still works.
    void AttachListener() { ConnectListener(true); }
    void DetachListener() { ConnectListener(false); }
    bool HasListener() const { return NativeWindow().Listener() != nullptr; }

    // Raised after creation when a parent with a window was given: (parent, id).
    EventSlot<CVolWinControl*, std::uint32_t> Created;

protected:
    explicit CVolWinControl(std::unique_ptr<CVWnd> window);

    // Sets or clears the kind's listener on its native window object.
    virtual void ConnectListener(bool attach) = 0;
    // Step 3 of the creation: settles a size (and a form's place) left to the default.
    virtual void SettleSize(ControlCreateInfo& /*info*/) {}
    // Step 4: adds the kind's styles to the record and creates the window.
    virtual bool CreateKindWindow(ControlCreateInfo& info) = 0;
    // Whether a new caption repaints the whole window (not for panels and forms).
    virtual bool RepaintsOnCaption() const { return true; }

    // The source an event names: the address of the whole control object, whatever base
    // raises it, so that handlers can compare it with their members' addresses.
    void* EventSource() { return dynamic_cast<void*>(this); }

    template <typename Native>
    Native& NativeAs() const {
        return static_cast<Native&>(holder_->Window());
    }

private:
    void FinishCreation(ControlCreateInfo& info);

    CMfcWndObject* holder_;
};
