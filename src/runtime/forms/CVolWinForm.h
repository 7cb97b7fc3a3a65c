#pragma once

#include "runtime/forms/CVWnd_WinForm.h"
#include "runtime/forms/CVolWinPanel.h"
#include "runtime/forms/IWinFormEventListener.h"

// A top-level window of class "VolWinForm" with a title bar, frame, icon and system menu,
// owning its controls as members. A derived form gives its client size (ClientWidth,
// ClientHeight), creates its controls (CreateChildren) and may take keyboard messages
// before they are dispatched (PreTranslateMessage). The options are set before the window
// is created.
//
//   MyForm form;                     // controls are members, constructed with it
//   form.SetCaption(title);
//   form.SetPostQuitOnDestroy(true);
//   if (form.CreateTopLevel()) { run the message loop, offering each message to
//                                PreTranslateThroughWindows first }
class CVolWinForm : public CVolWinPanel, public IWinFormEventListener {
public:
    // Border styles.
    static constexpr int kNoBorder = 0;
    static constexpr int kResizable = 1;
    static constexpr int kFixed = 2;
    static constexpr int kResizableToolWindow = 3;
    static constexpr int kFixedToolWindow = 4;
    static constexpr int kResizableClientEdge = 5;
    static constexpr int kFixedClientEdge = 6;
    // Start states.
    static constexpr int kNormal = 0;
    static constexpr int kCentred = 1;
    static constexpr int kMinimised = 2;
    static constexpr int kMaximised = 3;
    // What an empty caption shows when the title bar is on.
    static constexpr char16_t kProgramName[] = u"砚舟文件监控";

    CVolWinForm();
    ~CVolWinForm() override;

    // Creates the window with no parent, its size from the client size hooks and centred
    // on the primary screen.
    bool CreateTopLevel();

    // Offered each keyboard and mouse message for this window or its children before it
    // is dispatched; true consumes it. Lets everything pass by default.
    virtual bool PreTranslateMessage(MSG& /*message*/) { return false; }

    int BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(int style) { borderStyle_ = style; }
    bool TitleBar() const { return titleBar_; }
    void SetTitleBar(bool on) { titleBar_ = on; }
    bool MaximizeBox() const { return maximizeBox_; }
    void SetMaximizeBox(bool on) { maximizeBox_ = on; }
    bool MinimizeBox() const { return minimizeBox_; }
    void SetMinimizeBox(bool on) { minimizeBox_ = on; }
    int StartState() const { return startState_; }
    void SetStartState(int state) { startState_ = state; }
    bool Closable() const { return closable_; }
    void SetClosable(bool closable) { closable_ = closable; }
    int IconResource() const { return iconResource_; }
    void SetIconResource(int id) { iconResource_ = id; }
    const CWString& ClassName() const { return className_; }
    void SetClassName(const CWString& name) { className_ = name; }
    bool TopMost() const { return topMost_; }
    void SetTopMost(bool topMost) { topMost_ = topMost; }
    // The main window's destruction ends the message loop (posts WM_QUIT with 0).
    void SetPostQuitOnDestroy(bool post) { postQuitOnDestroy_ = post; }

    // Queries: a handler result other than 0 refuses; unbound, the close goes ahead.
    EventSlot<> CloseQuery;
    EventSlot<> MayGoAwayQuery;
    EventSlot<> FirstActivated;
    EventSlot<> Activated;
    EventSlot<> Deactivated;
    EventSlot<int> NotifyIconMessage;
    EventSlot<std::uint32_t> MenuSelected;
    EventSlot<MINMAXINFO*> MinMaxInfoQuery;

    // IContainerEventListener, shared with the panel.
    int OnWindowMessage(WindowMessage& message) override;
    void OnWindowCreate() override;
    void OnWindowDestroy() override;
    void OnWindowSize(UINT sizeType, int width, int height) override;
    void OnWindowShow(bool shown) override;
    void OnWindowMove(int x, int y) override;
    // IWinFormEventListener
    bool OnPreTranslateMessage(MSG& message) override;
    bool OnQueryMayGoAway() override;
    bool OnQueryClose() override;
    void OnFirstActivate() override;
    void OnActivate() override;
    void OnDeactivate() override;
    void OnNotifyIconMessage(int kind) override;
    void OnMenuSelect(UINT itemId) override;
    void OnGetMinMaxInfo(MINMAXINFO& info) override;

protected:
    void ConnectListener(bool attach) override;
    void SettleSize(ControlCreateInfo& info) override;
    bool CreateKindWindow(ControlCreateInfo& info) override;

private:
    void AddFormStyles(ControlCreateInfo& info) const;
    void SettlePosition(ControlCreateInfo& info) const;
    void ApplyCaptionStyles(HWND window, DWORD wanted) const;
    void SetIcons(HWND window);
    void ShowInStartState(HWND window) const;

    int borderStyle_ = kFixed;
    bool titleBar_ = true;
    bool maximizeBox_ = false;
    bool minimizeBox_ = true;
    int startState_ = kNormal;
    bool closable_ = true;
    int iconResource_ = 100;
    CWString className_;
    bool topMost_ = false;
    bool postQuitOnDestroy_ = false;
};
