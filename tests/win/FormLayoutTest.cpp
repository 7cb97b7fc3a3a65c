// The form and its controls on screen: places and sizes at three display scales, the
// frame around the client area, the centring, the classes and styles of each kind, the
// captions, the fonts and the initial states.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "FormsTestSupport.h"
#include "runtime/forms/RuntimeMessages.h"

using namespace forms_test;

namespace {

class CommonControls : public ::testing::Environment {
public:
    void SetUp() override {
        INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), 0xFF};
        InitCommonControlsEx(&init);
    }
};
const auto* const kCommonControls = ::testing::AddGlobalTestEnvironment(new CommonControls);

TEST(ScaleToDisplay, RoundsEachValueHalfUpOnItsOwn) {
    struct Case {
        double scale;
        int value;
        int expected;
    };
    const Case cases[] = {
        {1.0, 598, 598}, {1.5, 349, 524}, {1.5, 416, 624}, {1.5, 72, 108},
        {1.5, 24, 36},   {1.25, 6, 8},    {1.25, 53, 66},  {1.25, 598, 748},
        {1.5, 583, 875}, {1.5, 368, 552}, {1.75, 1, 2},    {1.0, 0, 0},
    };
    for (const Case& c : cases) {
        ScaleGuard scale(c.scale);
        EXPECT_EQ(ScaleToDisplay(c.value), c.expected) << c.value << " at " << c.scale;
    }
}

class FormAtScale : public ::testing::TestWithParam<double> {
protected:
    void SetUp() override { ASSERT_TRUE(form.CreateTopLevel()); }
    void TearDown() override { PumpMessages(); }

    ScaleGuard scale{GetParam()};
    SampleForm form;
};

TEST_P(FormAtScale, EveryControlSitsAtItsScaledDesignedPlace) {
    const struct {
        const CVolWinControl* control;
        Designed at;
    } placed[] = {
        {&form.label, kLabelPlace}, {&form.edit, kEditPlace}, {&form.button, kButtonPlace},
        {&form.check, kCheckPlace}, {&form.log, kLogPlace},   {&form.panel, kPanelPlace},
    };
    for (const auto& p : placed) {
        ASSERT_NE(p.control->Handle(), nullptr);
        const RECT rect = PlaceInParent(p.control->Handle());
        EXPECT_EQ(rect.left, ScaleToDisplay(p.at.x));
        EXPECT_EQ(rect.top, ScaleToDisplay(p.at.y));
        EXPECT_EQ(rect.right - rect.left, ScaleToDisplay(p.at.width));
        EXPECT_EQ(rect.bottom - rect.top, ScaleToDisplay(p.at.height));
    }
}

TEST_P(FormAtScale, ClientAreaIsTheScaledClientSizeAndTheFrameLiesAroundIt) {
    const HWND window = form.Handle();
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, ScaleToDisplay(kClientWidth));
    EXPECT_EQ(client.bottom, ScaleToDisplay(kClientHeight));

    RECT expected{0, 0, client.right, client.bottom};
    ASSERT_TRUE(AdjustWindowRectEx(&expected, GetWindowLongPtrW(window, GWL_STYLE), FALSE,
                                   GetWindowLongPtrW(window, GWL_EXSTYLE)));
    RECT outer{};
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, expected.right - expected.left);
    EXPECT_EQ(outer.bottom - outer.top, expected.bottom - expected.top);
    EXPECT_GT(outer.right - outer.left, client.right);
    EXPECT_GT(outer.bottom - outer.top, client.bottom);
}

TEST_P(FormAtScale, FormIsCentredOnThePrimaryScreen) {
    RECT outer{};
    GetWindowRect(form.Handle(), &outer);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
}

TEST_P(FormAtScale, EveryControlHasItsOwnNinePointFont) {
    const HDC screen = GetDC(nullptr);
    const int expectedHeight = -(GetDeviceCaps(screen, LOGPIXELSY) * 9 / 72);
    ReleaseDC(nullptr, screen);
    const CVolWinControl* controls[] = {&form,       &form.label, &form.edit, &form.button,
                                        &form.check, &form.log,   &form.panel};
    std::vector<HFONT> fonts;
    for (const CVolWinControl* control : controls) {
        const auto font =
            reinterpret_cast<HFONT>(SendMessageW(control->Handle(), WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr) << ClassOf(control->Handle());
        LOGFONTW description{};
        ASSERT_NE(GetObjectW(font, sizeof description, &description), 0);
        EXPECT_EQ(description.lfHeight, expectedHeight);
        for (HFONT other : fonts) {
            EXPECT_NE(font, other);
        }
        fonts.push_back(font);
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, FormAtScale, ::testing::Values(1.0, 1.25, 1.5));

TEST(FormLayout, ClassesStylesAndExtendedStylesAreThoseOfEachKind) {
    SampleForm form;
    ASSERT_TRUE(form.CreateTopLevel());
    constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    const struct {
        const char* name;
        HWND window;
        const wchar_t* className;
        DWORD style;
        DWORD exStyle;
    } kinds[] = {
        {"form", form.Handle(), L"VolWinForm",
         WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
         WS_EX_CONTROLPARENT},
        {"label", form.label.Handle(), L"VolLabel", kChild, 0},
        {"edit", form.edit.Handle(), L"Edit", kChild | WS_TABSTOP | ES_AUTOHSCROLL,
         WS_EX_CLIENTEDGE},
        {"button", form.button.Handle(), L"Button",
         kChild | WS_TABSTOP | BS_MULTILINE | BS_PUSHBUTTON | WS_DISABLED, 0},
        {"check box", form.check.Handle(), L"Button",
         kChild | WS_TABSTOP | BS_MULTILINE | BS_AUTOCHECKBOX, 0},
        {"multi-line edit", form.log.Handle(), L"Edit",
         kChild | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_AUTOHSCROLL |
             WS_HSCROLL | WS_VSCROLL,
         WS_EX_CLIENTEDGE},
        {"panel", form.panel.Handle(), L"VolContainer", kChild, 0},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        EXPECT_EQ(_wcsicmp(ClassOf(kind.window).c_str(), kind.className), 0);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(kind.window, GWL_STYLE)), kind.style);
        // The platform adds the raised window edge to every captioned window.
        const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(kind.window, GWL_EXSTYLE));
        EXPECT_EQ(exStyle & ~static_cast<DWORD>(WS_EX_WINDOWEDGE), kind.exStyle);
    }
    EXPECT_EQ(GetWindowLongPtrW(form.Handle(), GWLP_USERDATA), kWindowMarker);
    EXPECT_EQ(GetWindowLongPtrW(form.panel.Handle(), GWLP_USERDATA), kWindowMarker);
    EXPECT_EQ(GetWindowLongPtrW(form.label.Handle(), GWLP_USERDATA), 0);
    EXPECT_EQ(GetDlgCtrlID(form.check.Handle()), 101);
    EXPECT_EQ(GetDlgCtrlID(form.log.Handle()), 111);
}

TEST(FormLayout, CaptionsSetBeforeAndAfterCreationAreTheWindowTexts) {
    SampleForm form;
    form.SetCaption(CWString(u"砚舟文件动态监控  example"));
    ASSERT_TRUE(form.CreateTopLevel());
    EXPECT_EQ(WindowText(form.Handle()), u"砚舟文件动态监控  example");
    EXPECT_EQ(WindowText(form.label.Handle()), u"监控目录：");
    EXPECT_EQ(WindowText(form.edit.Handle()), u"C:\\");
    EXPECT_EQ(form.edit.GetText(), u"C:\\");
    EXPECT_EQ(form.edit.GetText().Length(), 3);
    EXPECT_EQ(WindowText(form.check.Handle()), u"修改名称");
    EXPECT_TRUE(form.log.GetText().IsEmpty());

    const CWString later(u"选择目录");
    for (CVolWinControl* control :
         std::initializer_list<CVolWinControl*>{&form, &form.label, &form.edit, &form.button}) {
        control->SetCaption(later);
        EXPECT_EQ(WindowText(control->Handle()), u"选择目录");
        EXPECT_EQ(control->GetText(), u"选择目录");
    }
}

TEST(FormLayout, ATextSetBeforeCreationIsReadBackWithoutAWindow) {
    CVolWinEdit edit;
    EXPECT_TRUE(edit.GetText().IsEmpty());
    edit.SetCaption(CWString(u"d:\\data\\"));
    EXPECT_EQ(edit.GetText(), u"d:\\data\\");
    CVolWinCheckBox check;
    check.SetChecked();
    EXPECT_FALSE(check.IsChecked());
}

TEST(FormLayout, AnEmptyCaptionWithTheTitleBarShowsTheProgramName) {
    SampleForm form;
    ASSERT_TRUE(form.CreateTopLevel());
    EXPECT_EQ(WindowText(form.Handle()), u"砚舟文件监控");

    SampleForm bare;
    bare.SetTitleBar(false);
    ASSERT_TRUE(bare.CreateTopLevel());
    EXPECT_EQ(WindowText(bare.Handle()), u"");
}

TEST(FormLayout, AControlDisabledBeforeCreationIsCreatedDisabled) {
    SampleForm form;
    ASSERT_TRUE(form.CreateTopLevel());
    EXPECT_FALSE(IsWindowEnabled(form.button.Handle()));
    EXPECT_FALSE(form.button.IsEnabled());
    EXPECT_TRUE(IsWindowEnabled(form.edit.Handle()));
    form.button.SetEnabled(true);
    EXPECT_TRUE(IsWindowEnabled(form.button.Handle()));
    form.edit.SetEnabled(false);
    EXPECT_FALSE(IsWindowEnabled(form.edit.Handle()));
}

TEST(FormLayout, InitialStatesTabStopsAndCreatedEvent) {
    struct CreatedCall {
        void* source;
        CVolWinControl* parent;
        std::uint32_t id;
    };
    static std::vector<CreatedCall> calls;
    calls.clear();
    SampleForm form;
    Recorder recorder;
    form.button.Created.Bind(
        [](void*, void* source, std::uint32_t, CVolWinControl* parent, std::uint32_t id) {
            calls.push_back({source, parent, id});
            return 0;
        },
        recorder.Handle());
    ASSERT_TRUE(form.CreateTopLevel());
    EXPECT_TRUE(form.check.IsChecked());
    EXPECT_EQ(form.childrenCreated, 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].source, &form.button);
    EXPECT_EQ(calls[0].parent, static_cast<CVolWinControl*>(&form));
    EXPECT_EQ(calls[0].id, 112u);
    // The labels and the panel are no tab stops; the edit boxes, buttons and check boxes are.
    EXPECT_EQ(GetWindowLongPtrW(form.label.Handle(), GWL_STYLE) & WS_TABSTOP, 0);
    EXPECT_EQ(GetWindowLongPtrW(form.panel.Handle(), GWL_STYLE) & WS_TABSTOP, 0);
    EXPECT_NE(GetWindowLongPtrW(form.log.Handle(), GWL_STYLE) & WS_TABSTOP, 0);
}

TEST(FormLayout, CreatingAgainAnswersFalseAndKeepsTheWindow) {
    SampleForm form;
    ASSERT_TRUE(form.CreateTopLevel());
    const HWND first = form.Handle();
    const HWND button = form.button.Handle();
    EXPECT_FALSE(form.CreateTopLevel());
    EXPECT_FALSE(form.button.Create(&form, 0, 0, 10, 10, 112));
    EXPECT_EQ(form.Handle(), first);
    EXPECT_EQ(form.button.Handle(), button);
    EXPECT_EQ(form.childrenCreated, 1);
}

TEST(FormLayout, TheFormShowsIconResource100AndAMissingIconDoesNotFailCreation) {
    SampleForm form;
    ASSERT_TRUE(form.CreateTopLevel());
    EXPECT_NE(SendMessageW(form.Handle(), WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(form.Handle(), WM_GETICON, ICON_SMALL, 0), 0);

    SampleForm plain;
    plain.SetIconResource(4321);
    ASSERT_TRUE(plain.CreateTopLevel());
    EXPECT_EQ(SendMessageW(plain.Handle(), WM_GETICON, ICON_BIG, 0), 0);
}

TEST(FormLayout, BorderStylesAndBoxesGiveTheirFrameStyles) {
    constexpr DWORD kCaptionBits =
        WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX;
    const struct {
        int border;
        bool titleBar;
        bool maximize;
        DWORD style;
        DWORD exStyle;
    } cases[] = {
        {0, true, false, WS_MINIMIZEBOX, 0},
        {1, true, false, WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX, 0},
        {2, true, true, WS_CAPTION | WS_SYSMENU | WS_MAXIMIZEBOX | WS_MINIMIZEBOX, 0},
        {3, true, false, WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX,
         WS_EX_TOOLWINDOW},
        {4, true, false, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, WS_EX_TOOLWINDOW},
        {5, true, false, WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX,
         WS_EX_CLIENTEDGE},
        {6, true, false, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, WS_EX_CLIENTEDGE},
        // Without the title bar and with no caption only the dialog frame is left.
        {2, false, false, WS_DLGFRAME | WS_MINIMIZEBOX, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.border);
        SampleForm form;
        form.SetBorderStyle(c.border);
        form.SetTitleBar(c.titleBar);
        form.SetMaximizeBox(c.maximize);
        ASSERT_TRUE(form.CreateTopLevel());
        const auto style = static_cast<DWORD>(GetWindowLongPtrW(form.Handle(), GWL_STYLE));
        const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(form.Handle(), GWL_EXSTYLE));
        EXPECT_EQ(style & kCaptionBits, c.style);
        EXPECT_EQ(exStyle & (WS_EX_TOOLWINDOW | WS_EX_CLIENTEDGE), c.exStyle);
        EXPECT_NE(exStyle & WS_EX_CONTROLPARENT, 0u);
        RECT client{};
        GetClientRect(form.Handle(), &client);
        EXPECT_EQ(client.right, kClientWidth);
        EXPECT_EQ(client.bottom, kClientHeight);
    }
}

TEST(FormLayout, ANotClosableFormHasNoCloseItemAndATopMostFormStaysOnTop) {
    SampleForm form;
    form.SetClosable(false);
    form.SetTopMost(true);
    ASSERT_TRUE(form.CreateTopLevel());
    EXPECT_EQ(GetMenuState(GetSystemMenu(form.Handle(), FALSE), SC_CLOSE, MF_BYCOMMAND),
              static_cast<UINT>(-1));
    EXPECT_NE(GetWindowLongPtrW(form.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);

    SampleForm closable;
    ASSERT_TRUE(closable.CreateTopLevel());
    EXPECT_NE(GetMenuState(GetSystemMenu(closable.Handle(), FALSE), SC_CLOSE, MF_BYCOMMAND),
              static_cast<UINT>(-1));
}

TEST(FormLayout, AFormWithoutAClientSizeStillCreatesAndAModalFormIsRefused) {
    // No size preference gives 0 x 0, which the platform raises to its smallest frame.
    CVolWinForm plain;
    EXPECT_TRUE(plain.CreateTopLevel());
    EXPECT_NE(plain.Handle(), nullptr);

    SampleForm modal;
    ControlCreateInfo info;
    info.x = info.y = info.width = info.height = ControlCreateInfo::kDefault;
    info.modal = true;
    EXPECT_FALSE(modal.Create(info));
    EXPECT_EQ(modal.Handle(), nullptr);
    EXPECT_EQ(modal.childrenCreated, 0);
}

}  // namespace
