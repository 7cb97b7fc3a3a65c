// Events of the controls and the form, keyboard handling of the edit boxes and the
// message loop's pre-translation.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "FormsTestSupport.h"
#include "runtime/forms/PreTranslateThroughWindows.h"
#include "runtime/forms/RuntimeMessages.h"

using namespace forms_test;

namespace {

// Runs work on another thread while this one serves the messages it sends.
template <typename Work>
void RunOnWorkerServingMessages(Work work) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    while (!done) {
        MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        PumpMessages();
    }
    worker.join();
}

class ControlEvents : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(form.CreateTopLevel()); }
    void TearDown() override { PumpMessages(); }

    SampleForm form;
    Recorder recorder;
};

TEST_F(ControlEvents, AClickRaisesClickedOnTheWindowsThreadWithTheButtonAsSource) {
    form.button.SetEnabled(true);
    form.button.Clicked.Bind(Recorder::Note, recorder.Handle());
    form.button.AttachListener();
    RunOnWorkerServingMessages([&] { SendMessageW(form.button.Handle(), BM_CLICK, 0, 0); });
    ASSERT_EQ(recorder.sources.size(), 1u);
    EXPECT_EQ(recorder.sources[0], &form.button);
    EXPECT_EQ(recorder.threads[0], GetCurrentThreadId());
}

TEST_F(ControlEvents, ABoundEventIsRaisedOnlyWhileTheListenerIsAttached) {
    form.button.SetEnabled(true);
    form.button.Clicked.Bind(Recorder::Note, recorder.Handle());
    SendMessageW(form.button.Handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(recorder.sources.empty());
    form.button.AttachListener();
    SendMessageW(form.button.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(recorder.sources.size(), 1u);
    form.button.DetachListener();
    SendMessageW(form.button.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(recorder.sources.size(), 1u);
}

TEST_F(ControlEvents, ACheckBoxChangesItsStateBeforeTheEvent) {
    static std::vector<bool> statesSeen;
    statesSeen.clear();
    form.check.Clicked.Bind(
        [](void* receiver, void* source, std::uint32_t extra) {
            statesSeen.push_back(static_cast<CVolWinCheckBox*>(source)->IsChecked());
            return Recorder::Note(receiver, source, extra);
        },
        recorder.Handle());
    form.check.AttachListener();
    SendMessageW(form.check.Handle(), BM_CLICK, 0, 0);
    SendMessageW(form.check.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(statesSeen, (std::vector<bool>{false, true}));
    EXPECT_EQ(recorder.sources[0], &form.check);
}

// A change handler on a worker thread reads a check box while the window's thread may be
// waiting for that worker: the state must come without a message to the window's thread,
// and be the box's, whichever way it changed.
TEST_F(ControlEvents, ACheckBoxsStateIsReadOnAnyThreadWithoutAMessageToItsWindow) {
    struct CheckQuestions : IWindowProcFilter {
        std::atomic<int> asked{0};
        bool FilterMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT*) override {
            asked += message == BM_GETCHECK ? 1 : 0;
            return false;
        }
    } questions;
    const HWND box = form.check.Handle();
    const struct {
        const char* way;
        std::function<void()> change;
    } changes[] = {
        {"click", [&] { SendMessageW(box, BM_CLICK, 0, 0); }},
        {"set by the program", [&] { form.check.SetChecked(!form.check.IsChecked()); }},
        {"sent from another thread",
         [&] {
             const WPARAM state =
                 SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
             RunOnWorkerServingMessages([&] { SendMessageW(box, BM_SETCHECK, state, 0); });
         }},
        {"space key",
         [&] {
             SendMessageW(box, WM_KEYDOWN, VK_SPACE, 0);
             SendMessageW(box, WM_KEYUP, VK_SPACE, 0xC0000001);
         }},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.way);
        for (int round = 0; round < 2; ++round) {  // each way both ticks and clears
            const bool before = SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
            change.change();
            const bool now = SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
            ASSERT_NE(now, before);
            form.check.NativeWindow().Filters().Add(&questions);
            bool read = before;
            RunOnWorkerServingMessages([&] { read = form.check.IsChecked(); });
            form.check.NativeWindow().Filters().Remove(&questions);
            EXPECT_EQ(read, now);
            EXPECT_EQ(questions.asked, 0);
        }
    }
}

TEST_F(ControlEvents, TypingRaisesTextChanged) {
    form.edit.TextChanged.Bind(Recorder::Note, recorder.Handle());
    form.edit.AttachListener();
    SendMessageW(form.edit.Handle(), WM_CHAR, L'x', 0);
    ASSERT_EQ(recorder.sources.size(), 1u);
    EXPECT_EQ(recorder.sources[0], &form.edit);
}

TEST_F(ControlEvents, ACloseQueryThatRefusesKeepsTheWindow) {
    form.CloseQuery.Bind(Recorder::Note, recorder.Handle());
    recorder.answer = 1;
    SendMessageW(form.Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(form.Handle()));
    EXPECT_EQ(recorder.sources.size(), 1u);
    EXPECT_EQ(recorder.sources[0], &form);

    // Allowed by the close query, refused by the may-go-away query.
    Recorder mayGo;
    mayGo.answer = 1;
    recorder.answer = 0;
    form.MayGoAwayQuery.Bind(Recorder::Note, mayGo.Handle());
    SendMessageW(form.Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(form.Handle()));
    EXPECT_EQ(recorder.sources.size(), 2u);
    EXPECT_EQ(mayGo.sources.size(), 1u);
    EXPECT_EQ(SendMessageW(form.Handle(), WM_QUERYENDSESSION, 0, 0), FALSE);

    mayGo.answer = 0;
    EXPECT_EQ(SendMessageW(form.Handle(), WM_QUERYENDSESSION, 0, 0), TRUE);
    const HWND window = form.Handle();
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(form.Handle(), nullptr);
}

TEST_F(ControlEvents, UnboundQueriesLetTheFormCloseAndItsChildrenGoWithIt) {
    form.Destroyed.Bind(Recorder::Note, recorder.Handle());
    const HWND window = form.Handle();
    const HWND child = form.edit.Handle();
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(form.edit.Handle(), nullptr);
    EXPECT_EQ(recorder.sources.size(), 1u);
    // The text a handler reads now is the stored caption.
    EXPECT_EQ(form.edit.GetText(), u"C:\\");
}

TEST(FormEvents, WindowCreatedComesAfterTheChildrenAndTheMainWindowEndsTheLoop) {
    SampleForm form;
    Recorder recorder;
    static bool childrenExisted = false;
    form.WindowCreated.Bind(
        [](void* receiver, void* source, std::uint32_t extra) {
            childrenExisted = static_cast<SampleForm*>(source)->log.Handle() != nullptr;
            return Recorder::Note(receiver, source, extra);
        },
        recorder.Handle());
    form.SetPostQuitOnDestroy(true);
    ASSERT_TRUE(form.CreateTopLevel());
    EXPECT_EQ(recorder.sources.size(), 1u);
    EXPECT_TRUE(childrenExisted);

    PostMessageW(form.Handle(), WM_CLOSE, 0, 0);
    MSG message;
    int loops = 0;
    while (GetMessageW(&message, nullptr, 0, 0) > 0 && ++loops < 10000) {
        DispatchMessageW(&message);
    }
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 0u);
    EXPECT_EQ(form.Handle(), nullptr);
}

TEST(FormEvents, AnErrorInCreateChildrenLeavesNoWindowAndReachesTheCaller) {
    class FailingForm : public SampleForm {
    public:
        void CreateChildren() override {
            SampleForm::CreateChildren();
            throw std::runtime_error("no children");
        }
    };
    FailingForm form;
    EXPECT_THROW(form.CreateTopLevel(), std::runtime_error);
    EXPECT_EQ(form.Handle(), nullptr);
    EXPECT_EQ(form.button.Handle(), nullptr);
}

// The creation of a form runs until it is shown; an error thrown on the way after the
// platform's window exists (here when its icons are set) reaches the caller as well.
TEST(FormEvents, AnErrorBeforeTheFirstShowLeavesNoWindowAndReachesTheCaller) {
    class FailingForm : public SampleForm {
    public:
        int OnWindowMessage(WindowMessage& message) override {
            if (message.message == WM_SETICON) {
                throw std::runtime_error("no icon");
            }
            return SampleForm::OnWindowMessage(message);
        }
    };
    FailingForm form;
    EXPECT_THROW(form.CreateTopLevel(), std::runtime_error);
    EXPECT_EQ(form.Handle(), nullptr);
    EXPECT_EQ(form.button.Handle(), nullptr);
}

TEST(FormEvents, ActivationRaisesFirstActivationOnce) {
    SampleForm form;
    Recorder first, activated, deactivated;
    form.FirstActivated.Bind(Recorder::Note, first.Handle());
    form.Activated.Bind(Recorder::Note, activated.Handle());
    form.Deactivated.Bind(Recorder::Note, deactivated.Handle());
    ASSERT_TRUE(form.CreateTopLevel());
    SendMessageW(form.Handle(), WM_ACTIVATE, WA_INACTIVE, 0);
    SendMessageW(form.Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
    SendMessageW(form.Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(first.sources.size(), 1u);
    EXPECT_GE(activated.sources.size(), 2u);
    EXPECT_GE(deactivated.sources.size(), 1u);
}

TEST(FormEvents, ShowingMovingSizingAndMenusRaiseTheirEvents) {
    SampleForm form;
    ASSERT_TRUE(form.CreateTopLevel());
    static std::vector<std::string> seen;
    seen.clear();
    Recorder recorder;
    using Flag = int (*)(void*, void*, std::uint32_t, int);
    using Pair = int (*)(void*, void*, std::uint32_t, int, int);
    form.Shown.Bind(Flag([](void*, void*, std::uint32_t, int flag) {
                        seen.push_back("shown " + std::to_string(flag));
                        return 0;
                    }),
                    recorder.Handle());
    form.Hidden.Bind(Flag([](void*, void*, std::uint32_t, int flag) {
                         seen.push_back("hidden " + std::to_string(flag));
                         return 0;
                     }),
                     recorder.Handle());
    form.Moved.Bind(Pair([](void*, void*, std::uint32_t, int, int) {
                        seen.push_back("moved");
                        return 0;
                    }),
                    recorder.Handle());
    form.Resized.Bind(
        Pair([](void*, void*, std::uint32_t, int width, int height) {
            seen.push_back("resized " + std::to_string(width) + "x" + std::to_string(height));
            return 0;
        }),
        recorder.Handle());
    form.MenuSelected.Bind(
        [](void*, void*, std::uint32_t, std::uint32_t item) {
            seen.push_back("menu " + std::to_string(item));
            return 0;
        },
        recorder.Handle());
    ShowWindow(form.Handle(), SW_HIDE);
    ShowWindow(form.Handle(), SW_SHOWNA);
    SetWindowPos(form.Handle(), nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(form.Handle(), WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200));
    SendMessageW(form.Handle(), WM_MENUSELECT, MAKEWPARAM(42, 0), 0);
    const std::vector<std::string> expected{"hidden 0", "shown 1", "moved", "resized 300x200",
                                            "menu 42"};
    EXPECT_EQ(seen, expected);
}

TEST(FormEvents, TheMinimumTrackingSizeIsPresetBeforeTheHandlerRuns) {
    SampleForm form;
    ASSERT_TRUE(form.CreateTopLevel());
    Recorder recorder;
    static POINT seenMinimum{};
    form.MinMaxInfoQuery.Bind(
        [](void*, void*, std::uint32_t, MINMAXINFO* info) {
            seenMinimum = info->ptMinTrackSize;
            info->ptMaxTrackSize = POINT{700, 600};
            return 0;
        },
        recorder.Handle());
    MINMAXINFO info{};
    info.ptMinTrackSize = POINT{100, 100};
    SendMessageW(form.Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(seenMinimum.x, 1);
    EXPECT_EQ(seenMinimum.y, 1);
    EXPECT_EQ(info.ptMaxTrackSize.x, 700);
}

TEST(FormEvents, StartStatesShowTheFormMinimisedMaximisedOrCentredOnItsMonitor) {
    SampleForm minimised;
    minimised.SetStartState(CVolWinForm::kMinimised);
    ASSERT_TRUE(minimised.CreateTopLevel());
    EXPECT_TRUE(IsIconic(minimised.Handle()));

    SampleForm maximised;
    maximised.SetStartState(CVolWinForm::kMaximised);
    maximised.SetBorderStyle(CVolWinForm::kResizable);
    ASSERT_TRUE(maximised.CreateTopLevel());
    EXPECT_TRUE(IsZoomed(maximised.Handle()));

    SampleForm centred;
    centred.SetStartState(CVolWinForm::kCentred);
    ControlCreateInfo info;
    info.x = 5;
    info.y = 7;
    info.width = info.height = ControlCreateInfo::kDefault;
    ASSERT_TRUE(centred.Create(info));
    RECT outer{};
    GetWindowRect(centred.Handle(), &outer);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2);

    // A given place is kept in the normal state.
    SampleForm placed;
    ControlCreateInfo given;
    given.x = 5;
    given.y = 7;
    given.width = given.height = ControlCreateInfo::kDefault;
    ASSERT_TRUE(placed.Create(given));
    GetWindowRect(placed.Handle(), &outer);
    EXPECT_EQ(outer.left, 5);
    EXPECT_EQ(outer.top, 7);
}

TEST_F(ControlEvents, TheLoopOffersKeysUpTheParentChainToTheForm) {
    form.consumeEscape = true;
    // A key for the multi-line edit box reaches the form.
    MSG escape{form.log.Handle(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    EXPECT_TRUE(PreTranslateThroughWindows(escape));
    MSG tab{form.log.Handle(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    EXPECT_FALSE(PreTranslateThroughWindows(tab));
    EXPECT_EQ(form.offered, (std::vector<UINT>{WM_KEYDOWN, WM_KEYDOWN}));

    // Not a key or mouse message: not offered.
    MSG paint{form.log.Handle(), WM_PAINT, 0, 0, 0, {}};
    EXPECT_FALSE(PreTranslateThroughWindows(paint));
    // The panel carries the marker too, and passes the message on to the form.
    CVolWinButton inner;
    ASSERT_TRUE(inner.Create(&form.panel, 1, 1, 20, 20, 140));
    MSG fromInner{inner.Handle(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    EXPECT_TRUE(PreTranslateThroughWindows(fromInner));
    EXPECT_EQ(form.offered.size(), 3u);

    // The message without the marker is nobody's business.
    EXPECT_EQ(SendMessageW(form.Handle(), kMsgPreTranslate, reinterpret_cast<WPARAM>(&escape), 0),
              0);
    EXPECT_EQ(form.offered.size(), 3u);
}

// Escape in a multi-line edit box inside a dialog-like parent asks the parent to close;
// the edit box drops it instead.
TEST_F(ControlEvents, AMultiLineEditBoxDropsEscape) {
    struct CloseCounter : IWindowProcFilter {
        int closes = 0;
        bool FilterMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT*) override {
            const bool close =
                message == WM_CLOSE || (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL);
            closes += close;
            return close;  // the form stays for the second half
        }
    } counter;
    form.NativeWindow().Filters().Add(&counter);
    const auto pressEscape = [&](HWND edit) {
        MSG key{edit, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
        SendMessageW(edit, WM_GETDLGCODE, VK_ESCAPE, reinterpret_cast<LPARAM>(&key));
        SendMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
        PumpMessages();
    };

    // A plain multi-line edit box of the platform shows what is dropped.
    const HWND plain = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_MULTILINE, 0, 0, 50, 50,
                                       form.Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(plain, nullptr);
    pressEscape(plain);
    const int platformCloses = counter.closes;
    DestroyWindow(plain);

    counter.closes = 0;
    pressEscape(form.log.Handle());
    EXPECT_EQ(counter.closes, 0);
    EXPECT_TRUE(IsWindow(form.Handle()));
    form.NativeWindow().Filters().Clear();
    if (platformCloses == 0) {
        GTEST_SKIP() << "this platform's edit box ignores Escape by itself";
    }
}

TEST(EditInput, NumericModesAcceptDigitsAndTheirSigns) {
    const struct {
        int mode;
        wchar_t c;
        bool accepted;
    } cases[] = {
        {0, L'a', true},  {1, L'a', true},   {2, L'a', true},  {3, L'7', true},  {3, L'a', false},
        {3, L'-', true},  {3, L'.', false},  {4, L'-', true},  {4, L'.', true},  {5, L'-', false},
        {5, L'.', false}, {5, L'0', true},   {6, L'-', true},  {8, L'.', false}, {9, L'.', true},
        {10, L'-', true}, {10, L'x', false}, {7, L'\b', true}, {11, L'x', true},
    };
    for (const auto& c : cases) {
        CVWnd_Edit edit;
        edit.SetInputMode(c.mode);
        EXPECT_EQ(edit.AcceptsChar(c.c), c.accepted) << c.mode << " " << static_cast<int>(c.c);
    }
}

TEST(EditInput, ARefusedCharacterNeverReachesTheBox) {
    SampleForm form;
    CVolWinEdit number;
    number.SetInputMode(3);
    ASSERT_TRUE(form.CreateTopLevel());
    ASSERT_TRUE(number.Create(&form, 0, 0, 80, 24, 150));
    for (wchar_t c : std::wstring(L"-1a2.3")) {
        SendMessageW(number.Handle(), WM_CHAR, c, 0);
    }
    EXPECT_EQ(number.GetText(), u"-123");
}

TEST(EditInput, PasswordAndReadOnlyModesAndTheTextLimit) {
    SampleForm form;
    CVolWinEdit password, readOnly;
    password.SetInputMode(2);
    password.SetPasswordChar(L'#');
    password.SetTextLimit(4);
    readOnly.SetInputMode(1);
    ASSERT_TRUE(form.CreateTopLevel());
    ASSERT_TRUE(password.Create(&form, 0, 0, 80, 24, 150));
    ASSERT_TRUE(readOnly.Create(&form, 0, 30, 80, 24, 151));
    EXPECT_NE(GetWindowLongPtrW(password.Handle(), GWL_STYLE) & ES_PASSWORD, 0);
    EXPECT_EQ(SendMessageW(password.Handle(), EM_GETPASSWORDCHAR, 0, 0), L'#');
    EXPECT_EQ(SendMessageW(password.Handle(), EM_GETLIMITTEXT, 0, 0), 4);
    EXPECT_NE(GetWindowLongPtrW(readOnly.Handle(), GWL_STYLE) & ES_READONLY, 0);
    // Limit 0 is the platform's maximum.
    EXPECT_GT(SendMessageW(form.edit.Handle(), EM_GETLIMITTEXT, 0, 0), 30000);
}

}  // namespace
