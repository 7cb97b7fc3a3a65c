#include "runtime/forms/CVWnd.h"

#include <utility>

#include "runtime/events/CRefObject.h"
#include "runtime/forms/RuntimeMessages.h"
#include "runtime/forms/RuntimeWindowClass.h"

namespace {

constexpr wchar_t kObjectProperty[] = L"VolWindowObject";

}  // namespace

// Holds a reference to a holder for the span of one message.
class CVWnd::KeeperReference {
public:
    explicit KeeperReference(CRefObject* keeper) : keeper_(keeper) {
        if (keeper_ != nullptr) {
            keeper_->AddRef();
        }
    }
    KeeperReference(const KeeperReference&) = delete;
    KeeperReference& operator=(const KeeperReference&) = delete;
    // The last release destroys the window and deletes the object this message was for.
    ~KeeperReference() {
        if (keeper_ != nullptr) {
            keeper_->Release();
        }
    }

private:
    CRefObject* keeper_;
};

CVWnd::~CVWnd() {
    Detach();
}

CVWnd* CVWnd::FromHandle(HWND window) {
    return window != nullptr ? static_cast<CVWnd*>(GetPropW(window, kObjectProperty)) : nullptr;
}

LRESULT CALLBACK CVWnd::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CVWnd* self = FromHandle(window);
    if (self == nullptr && message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        self = static_cast<CVWnd*>(create->lpCreateParams);
        if (self != nullptr) {
            self->Attach(window);
        }
    }
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->Dispatch(window, message, wParam, lParam);
}

LRESULT CVWnd::Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    KeeperReference keep(keeper_);
    try {
        return Process(window, message, wParam, lParam);
    } catch (...) {
        // An error must not unwind through the platform's frames. While the window is
        // being created and first shown it fails the creation and is thrown again by the
        // creating call; at any other time nothing can handle it.
        if (!capturing_) {
            std::terminate();
        }
        if (capturedError_ == nullptr) {
            capturedError_ = std::current_exception();
        }
        return message == WM_CREATE ? -1 : 0;
    }
}

LRESULT CVWnd::Process(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (AnswerPrivateMessage(message, wParam, lParam)) {
        return kWindowMarker;
    }
    if (message == WM_NCDESTROY) {
        return ProcessFinalMessage(window, wParam, lParam);
    }
    LRESULT result = 0;
    if (filters_.Dispatch(window, message, wParam, lParam, &result)) {
        return result;
    }
    if (listener_ != nullptr && message != WM_SETFOCUS && message != WM_KILLFOCUS) {
        WindowMessage record{window, message, wParam, lParam, 0};
        const int stop = listener_->OnWindowMessage(record);
        if (stop != 0 || Handle() != window) {
            return record.result;
        }
        wParam = record.wParam;
        lParam = record.lParam;
    }
    return OnMessage(message, wParam, lParam);
}

// The window goes whatever the filters and the listener answer: the original procedure
// of a subclassed control frees its own state here, and the binding must end.
LRESULT CVWnd::ProcessFinalMessage(HWND window, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    filters_.Dispatch(window, WM_NCDESTROY, wParam, lParam, &result);
    filters_.Clear();
    if (listener_ != nullptr) {
        WindowMessage record{window, WM_NCDESTROY, wParam, lParam, 0};
        listener_->OnWindowMessage(record);
    }
    if (Handle() == window) {
        result = DefaultProcessing(WM_NCDESTROY, wParam, lParam);
        Detach();
    }
    return result;
}

bool CVWnd::AnswerPrivateMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (lParam != kWindowMarker) {
        return false;
    }
    switch (message) {
        case kMsgSetVisible:
            visible_ = wParam != 0;
            return true;
        case kMsgSetGroup:
            group_ = static_cast<int>(wParam);
            return true;
        case kMsgQueryVisible:
            if (wParam == 0) {
                return false;
            }
            *reinterpret_cast<BOOL*>(wParam) = visible_ ? TRUE : FALSE;
            return true;
        case kMsgQueryGroup:
            if (wParam == 0) {
                return false;
            }
            *reinterpret_cast<int*>(wParam) = group_;
            return true;
        case kMsgAddFilter:
            if (wParam == 0) {
                return false;
            }
            filters_.Add(reinterpret_cast<IWindowProcFilter*>(wParam));
            return true;
        case kMsgRemoveFilter:
            if (wParam == 0) {
                return false;
            }
            filters_.Remove(reinterpret_cast<IWindowProcFilter*>(wParam));
            return true;
        default:
            return false;
    }
}

LRESULT CVWnd::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    bool handled = false;
    const LRESULT result = Reflect(message, wParam, lParam, handled);
    return handled ? result : DefaultProcessing(message, wParam, lParam);
}

LRESULT CVWnd::Reflect(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    const bool command = message == WM_COMMAND;
    const bool colour = message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
    if ((!command && !colour) || lParam == 0) {
        return 0;
    }
    CVWnd* child = FromHandle(reinterpret_cast<HWND>(lParam));
    if (child == nullptr || child == this) {
        return 0;
    }
    KeeperReference keep(child->keeper_);
    if (command) {
        handled = child->OnReflectedCommand(HIWORD(wParam));
        return 0;
    }
    const HBRUSH brush = child->OnReflectedCtlColor(message, reinterpret_cast<HDC>(wParam));
    handled = brush != nullptr;
    return reinterpret_cast<LRESULT>(brush);
}

LRESULT CVWnd::DefaultProcessing(UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND window = Handle();
    if (window == nullptr) {
        return 0;
    }
    if (originalProc_ != nullptr) {
        return CallWindowProcW(originalProc_, window, message, wParam, lParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool CVWnd::CreateOwnClassWindow(const wchar_t* className, const ControlCreateInfo& info) {
    return EnsureRuntimeWindowClass(className) && CreateWindowFor(className, info, true);
}

bool CVWnd::CreateStandardWindow(const wchar_t* className, const ControlCreateInfo& info) {
    return CreateWindowFor(className, info, false);
}

bool CVWnd::CaptureErrorsDuring(const std::function<bool()>& step) {
    if (capturing_) {
        return step() && capturedError_ == nullptr;
    }
    capturing_ = true;
    capturedError_ = nullptr;
    bool done = false;
    try {
        done = step();
    } catch (...) {
        capturing_ = false;
        throw;
    }
    capturing_ = false;
    if (capturedError_ != nullptr) {
        if (const HWND window = Handle(); window != nullptr && IsWindow(window)) {
            DestroyWindow(window);
        }
        std::rethrow_exception(std::exchange(capturedError_, nullptr));
    }
    return done;
}

bool CVWnd::CreateWindowFor(const wchar_t* className, const ControlCreateInfo& info,
                            bool ownClass) {
    if (Handle() != nullptr) {
        return false;
    }
    const HWND parent = info.parentWindow != nullptr ? info.parentWindow->Handle() : nullptr;
    const HMENU menu = (info.style & WS_CHILD) != 0
                           ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(info.id))
                           : info.menu;
    return CaptureErrorsDuring([&] {
        const HWND window =
            CreateWindowExW(info.exStyle, className, info.caption != nullptr ? info.caption : L"",
                            info.style, info.x, info.y, info.width, info.height, parent, menu,
                            RuntimeModule(), ownClass ? this : nullptr);
        if (window == nullptr || capturedError_ != nullptr) {
            return false;
        }
        if (!ownClass) {
            Attach(window);
            originalProc_ = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc)));
        }
        // A handler during creation may have destroyed the window again.
        return Handle() == window;
    });
}

void CVWnd::Attach(HWND window) {
    SetPropW(window, kObjectProperty, this);
    window_.store(window, std::memory_order_release);
}

void CVWnd::Detach() {
    const HWND window = Handle();
    if (window == nullptr) {
        return;
    }
    if (originalProc_ != nullptr &&
        GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(WindowProc)) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalProc_));
    }
    if (GetPropW(window, kObjectProperty) == this) {
        RemovePropW(window, kObjectProperty);
    }
    originalProc_ = nullptr;
    filters_.Clear();
    window_.store(nullptr, std::memory_order_release);
}
