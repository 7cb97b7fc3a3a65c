// Painting and colours of the kinds, and what is left when controls and forms go.

#include <gtest/gtest.h>

#include <memory>

#include "Canvas.h"
#include "FormsTestSupport.h"
#include "runtime/forms/CVWnd_Button.h"
#include "runtime/forms/CVWnd_Edit.h"

using namespace forms_test;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGreen = RGB(0, 160, 0);

class Painting : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(form.CreateTopLevel()); }
    void TearDown() override { PumpMessages(); }

    // Paints a 200 x 40 label with the given options on red and answers the ink box.
    RECT InkOfLabel(int horizontal, int vertical, const CWString& text) {
        label.SetBackColour(kRed);
        label.SetTextColour(kBlue);
        label.SetHorizontalAlign(horizontal);
        label.SetVerticalAlign(vertical);
        label.SetCaption(text);
        if (label.Handle() == nullptr) {
            EXPECT_TRUE(label.Create(&form, 0, 0, 200, 40, 160));
        }
        Canvas canvas(200, 40);
        canvas.Fill(kGreen);
        SendMessageW(label.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()),
                     PRF_CLIENT);
        // The corner away from the text shows the background.
        EXPECT_EQ(canvas.At(horizontal == 0 ? 199 : 0, vertical == 0 ? 39 : 0), kRed);
        return canvas.InkBox(kRed);
    }

    SampleForm form;
    CVolWinLabel label;
};

// DrawText puts the same ink at offsets given by the text's extent: the alignments are
// checked against each other, whatever the font's side bearings.
TEST_F(Painting, ALabelDrawsItsTextWhereItsAlignmentsPutIt) {
    const CWString text(u"监控目录：");
    const RECT topLeft = InkOfLabel(0, 0, text);
    ASSERT_GT(topLeft.right, topLeft.left) << "no text drawn";
    SIZE extent{};
    const HDC screen = GetDC(nullptr);
    const HGDIOBJ previous = SelectObject(
        screen, reinterpret_cast<HFONT>(SendMessageW(label.Handle(), WM_GETFONT, 0, 0)));
    GetTextExtentPoint32W(screen, L"监控目录：", 5, &extent);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    EXPECT_LE(topLeft.left, 2);
    EXPECT_LE(topLeft.top, 40 - topLeft.bottom);

    const RECT middleCentre = InkOfLabel(1, 1, text);
    EXPECT_NEAR(middleCentre.left - topLeft.left, (200 - extent.cx) / 2.0, 1.0);
    EXPECT_NEAR(middleCentre.top - topLeft.top, (40 - extent.cy) / 2.0, 1.0);

    const RECT bottomRight = InkOfLabel(2, 2, text);
    EXPECT_EQ(bottomRight.left - topLeft.left, 200 - extent.cx);
    EXPECT_EQ(bottomRight.top - topLeft.top, 40 - extent.cy);
    EXPECT_EQ(bottomRight.right - bottomRight.left, topLeft.right - topLeft.left);
}

// A face without Chinese glyphs draws every character as the same box: two different
// characters must leave different ink.
TEST_F(Painting, ChineseCaptionsAreDrawnAsGlyphsNotBoxes) {
    const auto inkOf = [&](const char16_t* text) {
        form.label.SetCaption(CWString(text));
        Canvas canvas(64, 24);
        SendMessageW(form.label.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()),
                     PRF_CLIENT);
        std::vector<COLORREF> pixels;
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 64; ++x) {
                pixels.push_back(canvas.At(x, y));
            }
        }
        return pixels;
    };
    const auto blank = inkOf(u"");
    const auto first = inkOf(u"监");
    const auto second = inkOf(u"控");
    EXPECT_NE(first, blank);
    EXPECT_NE(first, second) << "Chinese characters come out as boxes: no CJK font is linked";
}

TEST_F(Painting, ALabelWithDefaultOptionsIsOneLeftAlignedCentredLineOnButtonFace) {
    CVolWinLabel plain;
    EXPECT_EQ(plain.HorizontalAlign(), 0);
    EXPECT_EQ(plain.VerticalAlign(), 1);
    EXPECT_FALSE(plain.WordWrap());
    EXPECT_EQ(plain.NativeWindow().Handle(), nullptr);
    EXPECT_EQ(static_cast<CVWnd_Label&>(plain.NativeWindow()).TextFormat(),
              static_cast<UINT>(DT_NOCLIP | DT_LEFT | DT_SINGLELINE | DT_VCENTER));
    plain.SetWordWrap(true);
    EXPECT_EQ(static_cast<CVWnd_Label&>(plain.NativeWindow()).TextFormat(),
              static_cast<UINT>(DT_NOCLIP | DT_LEFT | DT_WORDBREAK | DT_VCENTER));

    Canvas canvas(64, 24);
    canvas.Fill(kGreen);
    SendMessageW(form.label.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()),
                 PRF_CLIENT);
    EXPECT_EQ(canvas.At(63, 0), GetSysColor(COLOR_BTNFACE));
    const RECT ink = canvas.InkBox(GetSysColor(COLOR_BTNFACE));
    EXPECT_GT(ink.right, ink.left);
}

TEST_F(Painting, ALabelKeepsItsOwnCopyOfTheFontItIsGiven) {
    const auto given = reinterpret_cast<HFONT>(form.label.Holder().Font());
    const auto kept = reinterpret_cast<HFONT>(SendMessageW(form.label.Handle(), WM_GETFONT, 0, 0));
    ASSERT_NE(kept, nullptr);
    EXPECT_NE(kept, given);
    LOGFONTW a{}, b{};
    GetObjectW(given, sizeof a, &a);
    GetObjectW(kept, sizeof b, &b);
    EXPECT_EQ(a.lfHeight, b.lfHeight);
    EXPECT_STREQ(a.lfFaceName, b.lfFaceName);
}

TEST_F(Painting, ButtonsCheckBoxesAndEditBoxesAnswerTheirReflectedColours) {
    Canvas canvas(10, 10);
    const auto ask = [&](UINT message, const CVolWinControl& control) {
        SetTextColor(canvas.Dc(), kGreen);
        return reinterpret_cast<HBRUSH>(SendMessageW(form.Handle(), message,
                                                     reinterpret_cast<WPARAM>(canvas.Dc()),
                                                     reinterpret_cast<LPARAM>(control.Handle())));
    };
    const auto& buttonNative = static_cast<const CVWnd_Button&>(form.button.NativeWindow());
    EXPECT_EQ(ask(WM_CTLCOLORBTN, form.button), buttonNative.BackBrush());
    EXPECT_EQ(GetTextColor(canvas.Dc()), GetSysColor(COLOR_BTNTEXT));
    EXPECT_EQ(GetBkColor(canvas.Dc()), GetSysColor(COLOR_BTNFACE));
    LOGBRUSH brush{};
    GetObjectW(buttonNative.BackBrush(), sizeof brush, &brush);
    EXPECT_EQ(brush.lbColor, GetSysColor(COLOR_BTNFACE));

    const auto& checkNative = static_cast<const CVWnd_Button&>(form.check.NativeWindow());
    EXPECT_EQ(ask(WM_CTLCOLORSTATIC, form.check), checkNative.BackBrush());
    EXPECT_EQ(GetTextColor(canvas.Dc()), GetSysColor(COLOR_BTNTEXT));
    form.check.SetTextColour(kRed);
    ask(WM_CTLCOLORSTATIC, form.check);
    EXPECT_EQ(GetTextColor(canvas.Dc()), kRed);

    const auto& editNative = static_cast<const CVWnd_Edit&>(form.edit.NativeWindow());
    EXPECT_EQ(ask(WM_CTLCOLOREDIT, form.edit), editNative.BackBrush());
    EXPECT_EQ(GetTextColor(canvas.Dc()), RGB(0, 0, 0));
    EXPECT_EQ(GetBkColor(canvas.Dc()), RGB(255, 255, 255));
    GetObjectW(editNative.BackBrush(), sizeof brush, &brush);
    EXPECT_EQ(brush.lbColor, RGB(255, 255, 255));

    // A window that is none of the runtime's gets the default answer.
    const HWND plain = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD, 0, 0, 5, 5, form.Handle(),
                                       nullptr, GetModuleHandleW(nullptr), nullptr);
    EXPECT_NE(reinterpret_cast<HBRUSH>(SendMessageW(form.Handle(), WM_CTLCOLORBTN,
                                                    reinterpret_cast<WPARAM>(canvas.Dc()),
                                                    reinterpret_cast<LPARAM>(plain))),
              buttonNative.BackBrush());
    DestroyWindow(plain);
}

TEST_F(Painting, ACheckBoxErasesWithItsBackgroundBrushAndAPushButtonDoesNot) {
    form.check.SetBackColour(kRed);
    form.button.SetBackColour(kRed);
    Canvas canvas(20, 20);
    canvas.Fill(kGreen);
    SendMessageW(form.check.Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.Dc()), 0);
    EXPECT_EQ(canvas.At(5, 5), kRed);

    canvas.Fill(kGreen);
    SendMessageW(form.button.Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.Dc()), 0);
    EXPECT_NE(canvas.At(5, 5), kRed);
}

TEST_F(Painting, TheFormFillsItsClientAreaWithItsBackColour) {
    form.SetBackColour(kBlue);
    Canvas canvas(30, 30);
    canvas.Fill(kGreen);
    SendMessageW(form.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
    EXPECT_EQ(canvas.At(10, 10), kBlue);
    form.SetTransparent(true);
    canvas.Fill(kGreen);
    SendMessageW(form.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
    EXPECT_EQ(canvas.At(10, 10), kGreen);
}

TEST(Lifetime, NothingIsLeftOnceAFormAndItsControlsAreDestroyed) {
    std::vector<HWND> windows;
    std::vector<HGDIOBJ> objects;
    HICON icon = nullptr;
    {
        SampleForm form;
        ASSERT_TRUE(form.CreateTopLevel());
        const CVolWinControl* controls[] = {&form,       &form.label, &form.edit, &form.button,
                                            &form.check, &form.log,   &form.panel};
        for (const CVolWinControl* control : controls) {
            windows.push_back(control->Handle());
            objects.push_back(control->Holder().Font());
        }
        objects.push_back(
            reinterpret_cast<HGDIOBJ>(SendMessageW(form.label.Handle(), WM_GETFONT, 0, 0)));
        objects.push_back(static_cast<const CVWnd_Button&>(form.button.NativeWindow()).BackBrush());
        objects.push_back(static_cast<const CVWnd_Edit&>(form.log.NativeWindow()).BackBrush());
        icon = reinterpret_cast<HICON>(SendMessageW(form.Handle(), WM_GETICON, ICON_BIG, 0));
        ASSERT_NE(icon, nullptr);
        for (HGDIOBJ object : objects) {
            ASSERT_NE(GetObjectType(object), 0u);
        }
    }
    for (HWND window : windows) {
        EXPECT_FALSE(IsWindow(window));
    }
    for (HGDIOBJ object : objects) {
        EXPECT_EQ(GetObjectType(object), 0u);
    }
    ICONINFO info{};
    EXPECT_FALSE(GetIconInfo(icon, &info));
}

TEST(Lifetime, AControlObjectGoingAwayDestroysItsWindowButNotTheForm) {
    SampleForm form;
    ASSERT_TRUE(form.CreateTopLevel());
    HWND window = nullptr;
    {
        CVolWinButton extra;
        ASSERT_TRUE(extra.Create(&form, 0, 0, 20, 20, 170));
        window = extra.Handle();
    }
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(IsWindow(form.Handle()));
}

TEST(Lifetime, AButtonMayBeDestroyedByItsOwnClickHandler) {
    SampleForm form;
    ASSERT_TRUE(form.CreateTopLevel());
    struct Owner {
        std::unique_ptr<CVolWinButton> button = std::make_unique<CVolWinButton>();
        CVolEventObjectPointer* handle = new CVolEventObjectPointer(this);
        int clicks = 0;
        ~Owner() { handle->TearDown(); }
    } owner;
    ASSERT_TRUE(owner.button->Create(&form, 0, 0, 20, 20, 171));
    owner.button->Clicked.Bind(
        [](void* receiver, void*, std::uint32_t) {
            auto* self = static_cast<Owner*>(receiver);
            ++self->clicks;
            self->button.reset();
            return 0;
        },
        owner.handle);
    owner.button->AttachListener();
    const HWND window = owner.button->Handle();
    SendMessageW(window, BM_CLICK, 0, 0);
    PumpMessages();
    EXPECT_EQ(owner.clicks, 1);
    EXPECT_EQ(owner.button, nullptr);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(IsWindow(form.Handle()));
}

TEST(Lifetime, AFormClosedBeforeItsObjectGoesLeavesNothingToDestroy) {
    auto form = std::make_unique<SampleForm>();
    ASSERT_TRUE(form->CreateTopLevel());
    const HWND window = form->Handle();
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(form->label.Handle(), nullptr);
    form.reset();
    SUCCEED();
}

}  // namespace
