#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MainFormTestSupport.h"

// What the main window looks like when it first shows, at 96, 120 and 144 dots per inch.
namespace {

using namespace main_form_test;

struct ControlSpec {
    int id;
    const wchar_t* windowClass;
    const char* caption;
    int x, y, width, height;
    DWORD style;  // bits that must be set
    DWORD exStyle;
    bool enabled;
    int checked;  // -1: not a check box
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
constexpr DWORD kCheck = kChild | BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP;
constexpr DWORD kPush = kChild | BS_MULTILINE | WS_TABSTOP;
constexpr DWORD kLine = kChild | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kLog = kChild | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_AUTOHSCROLL |
                       WS_HSCROLL | WS_VSCROLL | WS_TABSTOP;

const ControlSpec kControls[] = {
    {101, L"Button", "修改名称", 349, 416, 72, 24, kCheck, 0, true, BST_CHECKED},
    {102, L"Button", "修改内容", 252, 416, 80, 24, kCheck, 0, true, BST_CHECKED},
    {103, L"Button", "删除", 187, 416, 48, 24, kCheck, 0, true, BST_CHECKED},
    {104, L"VolLabel", "监控类型：", 37, 414, 64, 24, kChild, 0, true, -1},
    {105, L"Button", "新建", 122, 416, 48, 24, kCheck, 0, true, BST_CHECKED},
    {106, L"Button", "清空", 53, 446, 80, 32, kPush, 0, true, -1},
    {107, L"Button", "选择目录", 493, 379, 64, 32, kPush, 0, true, -1},
    {108, L"Edit", "C:\\", 101, 382, 376, 24, kLine, WS_EX_CLIENTEDGE, true, -1},
    {109, L"VolLabel", "监控目录：", 37, 382, 64, 24, kChild, 0, true, -1},
    {110, L"Button", "停止", 461, 446, 80, 32, kPush, 0, false, -1},
    {111, L"Edit", "", 6, 6, 583, 368, kLog, WS_EX_CLIENTEDGE, true, -1},
    {112, L"Button", "开始", 257, 446, 80, 32, kPush, 0, true, -1},
};

class MainFormLayout : public ::testing::TestWithParam<double> {
protected:
    forms_test::ScaleGuard scale{GetParam()};
    Machine machine;
    MainForm form{machine.probe};

    void SetUp() override { ASSERT_TRUE(form.CreateTopLevel()); }
    void TearDown() override {
        if (form.Handle() != nullptr) {
            DestroyWindow(form.Handle());
        }
        forms_test::PumpMessages();
    }
    static int S(int v) { return static_cast<int>(v * GetParam() + 0.5); }
};

TEST_P(MainFormLayout, TheWindowIsFixedCentredAndSizedFromItsClientArea) {
    const HWND window = form.Handle();
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    EXPECT_EQ(std::wstring(name), L"VolWinForm");
    EXPECT_EQ(U8(WindowText(window)), "砚舟文件动态监控  https://yanzhou.example/file-monitor");
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, S(598));
    EXPECT_EQ(client.bottom, S(494));
    const DWORD style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
    const DWORD wanted =
        WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    EXPECT_EQ(style & wanted, wanted);
    EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_THICKFRAME | WS_CHILD), 0u);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
    RECT frame{0, 0, S(598), S(494)};
    AdjustWindowRectEx(&frame, style, FALSE,
                       static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
    RECT outer{};
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, frame.right - frame.left);
    EXPECT_EQ(outer.bottom - outer.top, frame.bottom - frame.top);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2);
}

TEST_P(MainFormLayout, TwelveControlsInCreationOrderWithTheirPlacesStylesAndStates) {
    std::vector<int> order;
    for (HWND child = GetWindow(form.Handle(), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        order.push_back(GetDlgCtrlID(child));
    }
    EXPECT_EQ(order,
              (std::vector<int>{101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112}));
    for (const ControlSpec& c : kControls) {
        SCOPED_TRACE(c.id);
        const HWND control = GetDlgItem(form.Handle(), c.id);
        ASSERT_NE(control, nullptr);
        wchar_t name[32] = {};
        GetClassNameW(control, name, 32);
        EXPECT_EQ(lstrcmpiW(name, c.windowClass), 0) << U8(name);
        EXPECT_EQ(U8(WindowText(control)), c.caption);
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, form.Handle(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, S(c.x));
        EXPECT_EQ(r.top, S(c.y));
        EXPECT_EQ(r.right - r.left, S(c.width));
        EXPECT_EQ(r.bottom - r.top, S(c.height));
        const DWORD style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
        EXPECT_EQ(style & c.style, c.style) << std::hex << style;
        if (c.style == kChild) {
            EXPECT_EQ(style & WS_TABSTOP, 0u) << "labels are no tab stops";
        }
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(control, GWL_EXSTYLE)) & c.exStyle, c.exStyle);
        EXPECT_EQ(IsWindowEnabled(control) != FALSE, c.enabled);
        if (c.checked >= 0) {
            EXPECT_EQ(SendMessageW(control, BM_GETCHECK, 0, 0), c.checked);
        }
    }
}

TEST_P(MainFormLayout, TabFollowsTheIdsSkippingLabelsAndTheDisabledStop) {
    SetForegroundWindow(form.Handle());
    SetFocus(GetDlgItem(form.Handle(), 101));
    std::vector<int> visited{GetDlgCtrlID(GetFocus())};
    for (int i = 0; i < 9; ++i) {
        MSG tab{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
        EXPECT_TRUE(form.PreTranslateMessage(tab));
        forms_test::PumpMessages();
        visited.push_back(GetDlgCtrlID(GetFocus()));
    }
    // From the information box Tab leaves for the next stop instead of being typed in.
    EXPECT_EQ(visited, (std::vector<int>{101, 102, 103, 105, 106, 107, 108, 111, 112, 101}));
}

TEST_P(MainFormLayout, ShiftTabGoesBackThroughTheSameStops) {
    SetForegroundWindow(form.Handle());
    SetFocus(GetDlgItem(form.Handle(), 101));
    std::vector<int> visited{GetDlgCtrlID(GetFocus())};
    const HeldKeys shift{VK_SHIFT};
    for (int i = 0; i < 9; ++i) {
        MSG tab{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
        EXPECT_TRUE(form.PreTranslateMessage(tab));
        forms_test::PumpMessages();
        visited.push_back(GetDlgCtrlID(GetFocus()));
    }
    EXPECT_EQ(visited, (std::vector<int>{101, 112, 111, 108, 107, 106, 105, 103, 102, 101}));
}

TEST_P(MainFormLayout, CtrlTabInAnEditBoxIsTheBoxsAndLeavesTheFocusThere) {
    for (const int id : {108, 111}) {
        SCOPED_TRACE(id);
        SetFocus(GetDlgItem(form.Handle(), id));
        const HeldKeys control{VK_CONTROL};
        MSG tab{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
        EXPECT_FALSE(form.PreTranslateMessage(tab));
        TranslateMessage(&tab);
        DispatchMessageW(&tab);
        forms_test::PumpMessages();
        EXPECT_EQ(GetDlgCtrlID(GetFocus()), id);
    }
}

TEST_P(MainFormLayout, EscapeClosesWhereverTheFocusIs) {
    SetFocus(GetDlgItem(form.Handle(), 111));  // the information box, which drops Escape itself
    MSG escape{GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    EXPECT_TRUE(form.PreTranslateMessage(escape));
    forms_test::PumpMessages();
    EXPECT_EQ(form.Handle(), nullptr);
}

TEST_P(MainFormLayout, EscapeWithADisabledControlFocusedLeavesTheWindowOpen) {
    const HWND box = GetDlgItem(form.Handle(), 108);
    SetFocus(box);
    // Disabled behind the window manager's back: EnableWindow would take the focus away.
    SetWindowLongW(box, GWL_STYLE, GetWindowLongW(box, GWL_STYLE) | WS_DISABLED);
    ASSERT_EQ(GetFocus(), box);
    MSG escape{box, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    form.PreTranslateMessage(escape);
    forms_test::PumpMessages();
    EXPECT_NE(form.Handle(), nullptr);
}

TEST_P(MainFormLayout, EnterAndCharactersAreLeftToTheFocusedControl) {
    SetFocus(GetDlgItem(form.Handle(), 111));
    MSG enter{GetFocus(), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EXPECT_FALSE(form.PreTranslateMessage(enter));
    MSG character{GetFocus(), WM_CHAR, L'a', 0, 0, {}};
    EXPECT_FALSE(form.PreTranslateMessage(character));
}

INSTANTIATE_TEST_SUITE_P(Scales, MainFormLayout, ::testing::Values(1.0, 1.25, 1.5));

// Moved to monitors of other resolutions, the window takes the rectangle the system
// suggests and lays its controls out at the new scale with fonts of 9 points there, as it
// would have at the start; back at 96 dots per inch it is as it began.
TEST(MainFormResolution, ADpiChangeLaysTheWindowOutAgainAtTheNewScale) {
    forms_test::ScaleGuard scale(1.0);
    Machine machine;
    MainForm form(machine.probe);
    ASSERT_TRUE(form.CreateTopLevel());
    const HWND window = form.Handle();
    for (const int dotsPerInch : {144, 120, 96}) {
        SCOPED_TRACE(dotsPerInch);
        const double factor = dotsPerInch / 96.0;
        const auto scaled = [&](int v) { return static_cast<int>(v * factor + 0.5); };
        RECT suggested{40, 30, 40 + scaled(598) + 20, 30 + scaled(494) + 40};
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dotsPerInch, dotsPerInch),
                     reinterpret_cast<LPARAM>(&suggested));
        RECT outer{};
        GetWindowRect(window, &outer);
        EXPECT_EQ(outer.left, suggested.left);
        EXPECT_EQ(outer.top, suggested.top);
        EXPECT_EQ(outer.right, suggested.right);
        EXPECT_EQ(outer.bottom, suggested.bottom);
        EXPECT_EQ(form.ClientWidth(), scaled(598));
        EXPECT_EQ(form.ClientHeight(), scaled(494));
        for (const ControlSpec& c : kControls) {
            SCOPED_TRACE(c.id);
            const HWND control = GetDlgItem(window, c.id);
            RECT r{};
            GetWindowRect(control, &r);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
            EXPECT_EQ(r.left, scaled(c.x));
            EXPECT_EQ(r.top, scaled(c.y));
            EXPECT_EQ(r.right - r.left, scaled(c.width));
            EXPECT_EQ(r.bottom - r.top, scaled(c.height));
            LOGFONTW font{};
            ASSERT_NE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)),
                                 sizeof font, &font),
                      0);
            EXPECT_EQ(font.lfHeight, -(dotsPerInch * 9 / 72));
        }
    }
    DestroyWindow(window);
}

TEST(MainFormLayoutExamples, At144DotsPerInchTheDesignedExamplesHold) {
    forms_test::ScaleGuard scale(1.5);
    Machine machine;
    MainForm form(machine.probe);
    ASSERT_TRUE(form.CreateTopLevel());
    RECT client{};
    GetClientRect(form.Handle(), &client);
    EXPECT_EQ(client.right, 897);
    EXPECT_EQ(client.bottom, 741);
    auto placeOf = [&](int id) {
        RECT r{};
        GetWindowRect(GetDlgItem(form.Handle(), id), &r);
        MapWindowPoints(nullptr, form.Handle(), reinterpret_cast<POINT*>(&r), 2);
        return std::vector<long>{r.left, r.top, r.right - r.left, r.bottom - r.top};
    };
    EXPECT_EQ(placeOf(111), (std::vector<long>{9, 9, 875, 552}));
    EXPECT_EQ(placeOf(110), (std::vector<long>{692, 669, 120, 48}));
    EXPECT_EQ(placeOf(101), (std::vector<long>{524, 624, 108, 36}));
    DestroyWindow(form.Handle());
}

}  // namespace
