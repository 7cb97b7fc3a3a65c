// Shows the sample form with its Chinese captions for a screenshot, and closes it when the
// file named by the first argument appears (or after a minute at most).

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include "FormsTestSupport.h"
#include "runtime/forms/PreTranslateThroughWindows.h"

namespace {

class SnapshotForm : public forms_test::SampleForm {
public:
    explicit SnapshotForm(const wchar_t* doneFile) : doneFile_(doneFile) {}

    void CreateChildren() override {
        SampleForm::CreateChildren();
        log.SetCaption(
            CWString(u"14:03:27[新建文件] C:\\data\\a.txt\r\n"
                     u"14:03:30[重命名] C:\\data\\b.txt  (原名:a.txt)\r\n"));
        SetTimer(Handle(), 1, 100, nullptr);
    }

    int OnWindowMessage(WindowMessage& message) override {
        if (message.message == WM_TIMER && message.wParam == 1) {
            ++ticks_;
            const bool done =
                doneFile_ != nullptr && GetFileAttributesW(doneFile_) != INVALID_FILE_ATTRIBUTES;
            if (done || ticks_ > 600) {
                KillTimer(Handle(), 1);
                PostMessageW(Handle(), WM_CLOSE, 0, 0);
            }
            return 1;
        }
        return 0;
    }

private:
    const wchar_t* doneFile_;
    int ticks_ = 0;
};

}  // namespace

int main() {
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), 0xFF};
    InitCommonControlsEx(&init);
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    SnapshotForm form(count > 1 ? arguments[1] : nullptr);
    form.SetCaption(CWString(u"砚舟文件动态监控  forms-snapshot"));
    form.SetPostQuitOnDestroy(true);
    form.disableButtonBeforeCreation = false;
    if (!form.CreateTopLevel()) {
        LocalFree(arguments);
        return 1;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!PreTranslateThroughWindows(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    LocalFree(arguments);
    return static_cast<int>(message.wParam);
}
