#pragma once

// Shared by the forms tests: a form with one control of each kind at designed places, a
// receiver that records the events it hears, and message pumping.

#include <windows.h>

#include <string>
#include <vector>

#include "runtime/events/CVolEventObjectPointer.h"
#include "runtime/forms/CVolWinButton.h"
#include "runtime/forms/CVolWinCheckBox.h"
#include "runtime/forms/CVolWinEdit.h"
#include "runtime/forms/CVolWinForm.h"
#include "runtime/forms/CVolWinLabel.h"
#include "runtime/forms/CVolWinPanel.h"
#include "runtime/forms/DisplayScale.h"

namespace forms_test {

// Sets DisplayScale for one test and puts the start-up value back.
class ScaleGuard {
public:
    explicit ScaleGuard(double scale) : saved_(DisplayScale) { DisplayScale = scale; }
    ScaleGuard(const ScaleGuard&) = delete;
    ScaleGuard& operator=(const ScaleGuard&) = delete;
    ~ScaleGuard() { DisplayScale = saved_; }

private:
    double saved_;
};

// Runs what is queued for this thread's windows.
inline void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// A designed rectangle in base units.
struct Designed {
    int x, y, width, height;
};

inline constexpr int kClientWidth = 598;
inline constexpr int kClientHeight = 494;
inline constexpr Designed kLogPlace{6, 6, 583, 368};
inline constexpr Designed kLabelPlace{37, 382, 64, 24};
inline constexpr Designed kEditPlace{101, 382, 376, 24};
inline constexpr Designed kCheckPlace{349, 416, 72, 24};
inline constexpr Designed kButtonPlace{53, 446, 80, 32};
inline constexpr Designed kPanelPlace{461, 446, 80, 32};

// A form like the main window in miniature: one control of each kind, created in
// CreateChildren at the scaled designed places, with Chinese captions.
class SampleForm : public CVolWinForm {
public:
    CVolWinLabel label;
    CVolWinEdit edit;
    CVolWinButton button;
    CVolWinCheckBox check;
    CVolWinEdit log;
    CVolWinPanel panel;

    int ClientWidth() const override { return ScaleToDisplay(kClientWidth); }
    int ClientHeight() const override { return ScaleToDisplay(kClientHeight); }

    void CreateChildren() override {
        ++childrenCreated;
        label.SetCaption(CWString(u"监控目录："));
        Place(label, kLabelPlace, 104);
        edit.SetCaption(CWString(u"C:\\"));
        Place(edit, kEditPlace, 108);
        button.SetCaption(CWString(u"开始"));
        if (disableButtonBeforeCreation) {
            button.SetEnabled(false);
        }
        Place(button, kButtonPlace, 112);
        check.SetCaption(CWString(u"修改名称"));
        Place(check, kCheckPlace, 101);
        check.SetChecked();
        log.SetMultiLine(true);
        log.SetScrollBars(3);
        Place(log, kLogPlace, 111);
        Place(panel, kPanelPlace, 120);
    }

    bool PreTranslateMessage(MSG& message) override {
        offered.push_back(message.message);
        return consumeEscape && message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE;
    }

    void Place(CVolWinControl& control, const Designed& at, std::uint32_t id) {
        control.Create(this, ScaleToDisplay(at.x), ScaleToDisplay(at.y), ScaleToDisplay(at.width),
                       ScaleToDisplay(at.height), id);
    }

    bool disableButtonBeforeCreation = true;
    bool consumeEscape = false;
    int childrenCreated = 0;
    std::vector<UINT> offered;
};

// Records what the events it is bound to report. Its receiver handle is torn down (which
// gives the recorder's own reference back) before the recorder goes, as every receiver's
// must be.
class Recorder {
public:
    Recorder() : handle_(new CVolEventObjectPointer(this)) {}
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;
    ~Recorder() { handle_->TearDown(); }

    CVolEventObjectPointer* Handle() const { return handle_; }

    static int Note(void* receiver, void* source, std::uint32_t /*extra*/) {
        auto* self = static_cast<Recorder*>(receiver);
        self->sources.push_back(source);
        self->threads.push_back(GetCurrentThreadId());
        return self->answer;
    }

    std::vector<void*> sources;
    std::vector<DWORD> threads;
    int answer = 0;

private:
    CVolEventObjectPointer* handle_;
};

inline std::u16string WindowText(HWND window) {
    wchar_t buffer[256] = {};
    GetWindowTextW(window, buffer, 256);
    return std::u16string(reinterpret_cast<const char16_t*>(buffer));
}

inline std::wstring ClassOf(HWND window) {
    wchar_t buffer[64] = {};
    GetClassNameW(window, buffer, 64);
    return buffer;
}

// The rectangle of a child window in its parent's client coordinates.
inline RECT PlaceInParent(HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace forms_test
