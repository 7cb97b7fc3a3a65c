#include "ui/LogBoxWriter.h"

#include <gtest/gtest.h>

#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include "FormsTestSupport.h"
#include "runtime/forms/IWindowProcFilter.h"
#include "runtime/text/Utf8.h"

// The information box's appends on a multi-line edit box of the sample form, with small
// limits: one replace per batch, the newest lines kept, the user's view kept.
namespace {

using namespace forms_test;

std::deque<std::u16string> Numbered(const char* stem, int from, int to) {
    std::deque<std::u16string> lines;
    for (int i = from; i < to; ++i) {
        lines.push_back(FromUtf8(stem + std::to_string(i)));
    }
    return lines;
}

std::vector<std::string> Names(const char* stem, int from, int to) {
    std::vector<std::string> names;
    for (int i = from; i < to; ++i) {
        names.push_back(stem + std::to_string(i));
    }
    return names;
}

// The box's lines, each without its break; false when the text does not end in one.
std::vector<std::string> LinesOf(HWND box) {
    const int length = GetWindowTextLengthW(box);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(box, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos;
         start = end + 2) {
        const std::wstring line = text.substr(start, end - start);
        lines.push_back(ToUtf8(std::u16string(line.begin(), line.end())));
    }
    EXPECT_EQ(start, text.size()) << "text after the last line break";
    return lines;
}

// Counts one kind of message on its way to a window.
class MessageCounter final : public IWindowProcFilter {
public:
    explicit MessageCounter(UINT message) : message_(message) {}
    bool FilterMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT*) override {
        count += message == message_ ? 1 : 0;
        return false;
    }
    int count = 0;

private:
    UINT message_;
};

class LogBoxWriting : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(form.CreateTopLevel());
        box = form.log.Handle();
    }
    void TearDown() override {
        DestroyWindow(form.Handle());
        PumpMessages();
    }

    void Hold(const char* stem, int count) {
        std::wstring text;
        for (const std::u16string& line : Numbered(stem, 0, count)) {
            text += std::wstring(line.begin(), line.end()) + L"\r\n";
        }
        SetWindowTextW(box, text.c_str());
    }

    SampleForm form;
    HWND box = nullptr;
};

TEST_F(LogBoxWriting, ABatchGoesInWithOneReplaceEachLineWithItsBreak) {
    MessageCounter replaces(EM_REPLACESEL);
    form.log.NativeWindow().Filters().Add(&replaces);
    const LogBoxWriter writer(100, 10);
    writer.Append(box, Numbered("a", 0, 3));
    writer.Append(box, Numbered("b", 0, 2));
    form.log.NativeWindow().Filters().Remove(&replaces);
    EXPECT_EQ(replaces.count, 2);
    EXPECT_EQ(LinesOf(box), (std::vector<std::string>{"a0", "a1", "a2", "b0", "b1"}));
}

struct LimitCase {
    const char* name;
    int held;
    int batch;
    std::vector<std::string> kept;
};

void PrintTo(const LimitCase& c, std::ostream* out) {
    *out << c.name;
}

class LogBoxLimit : public LogBoxWriting, public ::testing::WithParamInterface<LimitCase> {};

// At most 10 lines; past them the oldest go, down to 6.
TEST_P(LogBoxLimit, TheBoxKeepsTheNewestLines) {
    Hold("old", GetParam().held);
    LogBoxWriter(10, 4).Append(box, Numbered("new", 0, GetParam().batch));
    EXPECT_EQ(LinesOf(box), GetParam().kept);
}

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Table, LogBoxLimit,
    ::testing::Values(LimitCase{"up_to_the_limit", 8, 2,
                                Joined(Names("old", 0, 8), Names("new", 0, 2))},
                      LimitCase{"past_it_the_oldest_go_in_a_block", 8, 3,
                                Joined(Names("old", 5, 8), Names("new", 0, 3))},
                      LimitCase{"a_batch_beyond_what_is_kept", 8, 20, Names("new", 14, 20)},
                      LimitCase{"a_batch_beyond_it_into_an_empty_box", 0, 11, Names("new", 5, 11)}),
    [](const auto& info) { return std::string(info.param.name); });

// A user reading line 62 of 90, scrolled to line 60: a batch that takes the box past its
// limit removes 50 lines above, and the same text stays selected and in view.
TEST_F(LogBoxWriting, TheUsersSelectionAndViewMoveWithTheTextWhenTheOldestGo) {
    Hold("old", 90);
    const LRESULT line62 = SendMessageW(box, EM_LINEINDEX, 62, 0);
    SendMessageW(box, EM_SETSEL, line62, line62 + 5);
    SendMessageW(box, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 60), 0);
    ASSERT_EQ(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), 60);

    LogBoxWriter(100, 40).Append(box, Numbered("new", 0, 20));

    EXPECT_EQ(LinesOf(box).front(), "old50");
    EXPECT_EQ(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), 10);
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, static_cast<DWORD>(SendMessageW(box, EM_LINEINDEX, 12, 0)));
    EXPECT_EQ(end, start + 5);
}

TEST_F(LogBoxWriting, ASelectionAmongTheRemovedLinesEndsAtTheStart) {
    Hold("old", 90);
    SendMessageW(box, EM_SETSEL, 10, 20);
    SendMessageW(box, WM_VSCROLL, SB_TOP, 0);
    LogBoxWriter(100, 40).Append(box, Numbered("new", 0, 20));
    EXPECT_EQ(SendMessageW(box, EM_GETSEL, 0, 0), MAKELONG(0, 0));
    EXPECT_EQ(SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
}

TEST_F(LogBoxWriting, AtTheEndTheViewFollowsPastTheLimit) {
    Hold("old", 90);
    const LRESULT length = SendMessageW(box, WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(box, EM_SETSEL, length, length);
    SendMessageW(box, EM_SCROLLCARET, 0, 0);
    LogBoxWriter(100, 40).Append(box, Numbered("new", 0, 20));
    const LRESULT lines = SendMessageW(box, EM_GETLINECOUNT, 0, 0);
    ASSERT_EQ(lines, 61);  // 60 and the empty one after the last break
    const LRESULT newLength = SendMessageW(box, WM_GETTEXTLENGTH, 0, 0);
    EXPECT_EQ(SendMessageW(box, EM_GETSEL, 0, 0), MAKELONG(newLength, newLength));
    RECT format{};
    SendMessageW(box, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    const LRESULT at =
        SendMessageW(box, EM_POSFROMCHAR, SendMessageW(box, EM_LINEINDEX, lines - 2, 0), 0);
    EXPECT_LT(static_cast<short>(HIWORD(at)), format.bottom);
    EXPECT_GE(static_cast<short>(HIWORD(at)), format.top);
}

}  // namespace
