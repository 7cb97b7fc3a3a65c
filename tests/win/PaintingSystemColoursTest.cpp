// Colours that follow the system's after the user changes them (a high-contrast theme).
// The change is made for the whole session, so this suite runs alone.

#include <gtest/gtest.h>

#include "Canvas.h"
#include "FormsTestSupport.h"
#include "runtime/forms/CVWnd_Button.h"

using namespace forms_test;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 160, 0);

// Gives one system colour another value while it lives; SetSysColors tells every
// top-level window with WM_SYSCOLORCHANGE, as a change in the control panel does.
class SystemColourChange {
public:
    SystemColourChange(int index, COLORREF colour) : index_(index), saved_(GetSysColor(index)) {
        SetSysColors(1, &index_, &colour);
    }
    SystemColourChange(const SystemColourChange&) = delete;
    SystemColourChange& operator=(const SystemColourChange&) = delete;
    ~SystemColourChange() { SetSysColors(1, &index_, &saved_); }

private:
    int index_;
    COLORREF saved_;
};

// The colour a button's window erases its background with, read back from a bitmap.
COLORREF ErasedColour(const CVolWinControl& control) {
    Canvas canvas(8, 8);
    canvas.Fill(kGreen);
    SendMessageW(control.Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.Dc()), 0);
    return canvas.At(4, 4);
}

COLORREF BrushColour(HBRUSH brush) {
    LOGBRUSH described{};
    GetObjectW(brush, sizeof described, &described);
    return described.lbColor;
}

TEST(SystemColours, ButtonsAndCheckBoxesTakeTheNewButtonFaceAndFixedColoursStay) {
    SampleForm form;
    ASSERT_TRUE(form.CreateTopLevel());
    CVolWinCheckBox ownColour;
    ASSERT_TRUE(ownColour.Create(&form, 0, 0, 60, 20, 150));
    ownColour.SetBackColour(kRed);
    const auto& button = static_cast<const CVWnd_Button&>(form.button.NativeWindow());
    const COLORREF before = GetSysColor(COLOR_BTNFACE);
    ASSERT_EQ(ErasedColour(form.check), before);
    const COLORREF changed = before == RGB(0, 0, 128) ? RGB(128, 0, 0) : RGB(0, 0, 128);
    {
        const SystemColourChange change(COLOR_BTNFACE, changed);
        ASSERT_EQ(GetSysColor(COLOR_BTNFACE), changed);
        PumpMessages();
        EXPECT_EQ(ErasedColour(form.check), changed);
        EXPECT_EQ(BrushColour(button.BackBrush()), changed);
        EXPECT_EQ(ErasedColour(ownColour), kRed);
    }
    PumpMessages();
    EXPECT_EQ(ErasedColour(form.check), before);
    DestroyWindow(form.Handle());
}

// The text colour a control's parent answers for it, as the control asks before painting.
COLORREF AnsweredTextColour(const CVolWinForm& form, const CVolWinControl& control) {
    const HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, kGreen);
    SendMessageW(form.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(control.Handle()));
    const COLORREF colour = GetTextColor(dc);
    DeleteDC(dc);
    return colour;
}

// How many pixels of a colour the control paints.
int PaintedPixelsOf(const CVolWinControl& control, COLORREF colour) {
    RECT client{};
    GetClientRect(control.Handle(), &client);
    const Canvas canvas(client.right, client.bottom);
    SendMessageW(control.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()),
                 PRF_CLIENT | PRF_ERASEBKGND);
    int count = 0;
    for (int y = 0; y < client.bottom; ++y) {
        for (int x = 0; x < client.right; ++x) {
            count += canvas.At(x, y) == colour ? 1 : 0;
        }
    }
    return count;
}

// A high-contrast theme: light text on a black button face. A check box's caption takes
// the theme's button text, or it would vanish black on black; one given its own colour
// keeps it.
TEST(SystemColours, ACheckBoxCaptionTakesTheSystemsButtonTextAndAnOwnColourStays) {
    SampleForm form;
    ASSERT_TRUE(form.CreateTopLevel());
    CVolWinCheckBox ownColour;
    ownColour.SetCaption(CWString(u"删除"));
    ASSERT_TRUE(ownColour.Create(&form, 0, 0, 80, 24, 150));
    ownColour.SetTextColour(kRed);
    constexpr COLORREF kYellow = RGB(255, 255, 0);
    {
        const SystemColourChange text(COLOR_BTNTEXT, kYellow);
        const SystemColourChange face(COLOR_BTNFACE, RGB(0, 0, 0));
        PumpMessages();
        EXPECT_EQ(AnsweredTextColour(form, form.check), kYellow);
        EXPECT_GT(PaintedPixelsOf(form.check, kYellow), 0);
        EXPECT_EQ(AnsweredTextColour(form, ownColour), kRed);
    }
    PumpMessages();
    EXPECT_EQ(AnsweredTextColour(form, form.check), GetSysColor(COLOR_BTNTEXT));
    DestroyWindow(form.Handle());
}

}  // namespace
