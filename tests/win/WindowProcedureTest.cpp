// The one window procedure: the private messages, the filter list and its order, the
// listener's message operation, and controls that have no listener.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "FormsTestSupport.h"
#include "runtime/forms/RuntimeMessages.h"

using namespace forms_test;

namespace {

constexpr UINT kProbe = WM_APP + 17;

// Notes every message it sees in a shared log; handles kProbe when told to.
class LoggingFilter : public IWindowProcFilter {
public:
    LoggingFilter(char name, std::string& log) : name_(name), log_(log) {}

    bool FilterMessage(HWND, UINT message, WPARAM, LPARAM, LRESULT* result) override {
        if (message == kProbe || message == WM_NCDESTROY || message == WM_COMMAND) {
            log_ += name_;
        }
        if (onProbe) {
            onProbe();
        }
        if (handles && (message == kProbe || message == WM_COMMAND)) {
            *result = answer;
            return true;
        }
        return false;
    }

    bool handles = false;
    LRESULT answer = 0;
    std::function<void()> onProbe;

private:
    char name_;
    std::string& log_;
};

class WindowProcedure : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(form.CreateTopLevel()); }

    HWND Label() const { return form.label.Handle(); }
    CVolWindowProcFilters& LabelFilters() { return form.label.NativeWindow().Filters(); }

    SampleForm form;
    std::string log;
};

TEST(WindowProcFilters, ListOperations) {
    std::string log;
    LoggingFilter a('a', log), b('b', log), c('c', log);
    CVolWindowProcFilters filters;
    filters.Add(&a);
    filters.Add(&b);
    filters.Add(&a);
    EXPECT_EQ(filters.Count(), 2);
    EXPECT_TRUE(filters.Remove(&a));
    EXPECT_FALSE(filters.Remove(&a));
    EXPECT_FALSE(filters.Remove(&c));
    EXPECT_EQ(filters.Count(), 1);
    filters.Add(&c);
    EXPECT_TRUE(filters.Remove(nullptr));
    EXPECT_EQ(filters.Count(), 0);
    // No window: nothing is offered.
    filters.Add(&a);
    LRESULT result = 0;
    EXPECT_FALSE(filters.Dispatch(nullptr, kProbe, 0, 0, &result));
    EXPECT_EQ(log, "");
}

TEST_F(WindowProcedure, TheFilterAddedLastSeesAMessageFirstAndTheFirstThatHandlesItEndsIt) {
    LoggingFilter a('a', log), b('b', log), c('c', log);
    LabelFilters().Add(&a);
    LabelFilters().Add(&b);
    LabelFilters().Add(&c);
    SendMessageW(Label(), kProbe, 0, 0);
    EXPECT_EQ(log, "cba");

    log.clear();
    b.handles = true;
    b.answer = 77;
    EXPECT_EQ(SendMessageW(Label(), kProbe, 0, 0), 77);
    EXPECT_EQ(log, "cb");
    LabelFilters().Clear();
}

TEST_F(WindowProcedure, AddingAFilterTwiceLeavesOneAndRemovingWithNoneEmptiesTheList) {
    LoggingFilter a('a', log), b('b', log);
    LabelFilters().Add(&a);
    LabelFilters().Add(&b);
    LabelFilters().Add(&a);
    SendMessageW(Label(), kProbe, 0, 0);
    EXPECT_EQ(log, "ba");

    log.clear();
    EXPECT_TRUE(LabelFilters().Remove(nullptr));
    SendMessageW(Label(), kProbe, 0, 0);
    EXPECT_EQ(log, "");
}

TEST_F(WindowProcedure, AFilterRemovedByAnotherDuringDispatchIsNotCalled) {
    LoggingFilter a('a', log), b('b', log);
    LabelFilters().Add(&a);
    LabelFilters().Add(&b);
    b.onProbe = [&] { LabelFilters().Remove(&a); };
    SendMessageW(Label(), kProbe, 0, 0);
    EXPECT_EQ(log, "b");
    LabelFilters().Clear();
}

TEST_F(WindowProcedure, PrivateMessagesAreAnsweredWithTheMarker) {
    LoggingFilter a('a', log);
    const HWND label = Label();
    const auto wp = [](auto* p) { return reinterpret_cast<WPARAM>(p); };

    EXPECT_EQ(SendMessageW(label, kMsgAddFilter, wp(&a), kWindowMarker), kWindowMarker);
    EXPECT_EQ(LabelFilters().Count(), 1);
    SendMessageW(label, kProbe, 0, 0);
    EXPECT_EQ(log, "a");
    EXPECT_EQ(SendMessageW(label, kMsgRemoveFilter, wp(&a), kWindowMarker), kWindowMarker);
    EXPECT_EQ(LabelFilters().Count(), 0);

    // Creation sent the visible flag.
    BOOL visible = FALSE;
    EXPECT_EQ(SendMessageW(label, kMsgQueryVisible, wp(&visible), kWindowMarker), kWindowMarker);
    EXPECT_TRUE(visible);
    EXPECT_EQ(SendMessageW(label, kMsgSetVisible, 0, kWindowMarker), kWindowMarker);
    SendMessageW(label, kMsgQueryVisible, wp(&visible), kWindowMarker);
    EXPECT_FALSE(visible);

    int group = 0;
    SendMessageW(label, kMsgQueryGroup, wp(&group), kWindowMarker);
    EXPECT_EQ(group, -1);
    EXPECT_EQ(SendMessageW(label, kMsgSetGroup, 3, kWindowMarker), kWindowMarker);
    SendMessageW(label, kMsgQueryGroup, wp(&group), kWindowMarker);
    EXPECT_EQ(group, 3);
    EXPECT_EQ(form.label.NativeWindow().Group(), 3);

    // Without the marker, or without a place for the answer, they are ordinary messages.
    EXPECT_EQ(SendMessageW(label, kMsgSetGroup, 5, 0), 0);
    EXPECT_EQ(form.label.NativeWindow().Group(), 3);
    EXPECT_EQ(SendMessageW(label, kMsgQueryGroup, 0, kWindowMarker), 0);
}

TEST_F(WindowProcedure, AFilterThatHandlesAChildNotificationKeepsItFromTheControl) {
    Recorder recorder;
    form.button.SetEnabled(true);
    form.button.Clicked.Bind(Recorder::Note, recorder.Handle());
    form.button.AttachListener();
    LoggingFilter eater('e', log);
    eater.handles = true;
    form.NativeWindow().Filters().Add(&eater);
    SendMessageW(form.button.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(log, "e");
    EXPECT_TRUE(recorder.sources.empty());

    form.NativeWindow().Filters().Remove(&eater);
    SendMessageW(form.button.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(recorder.sources.size(), 1u);
}

TEST_F(WindowProcedure, FiltersSeeTheFinalMessageAndAreClearedAfterIt) {
    LoggingFilter a('a', log);
    a.handles = true;
    LabelFilters().Add(&a);
    CVWnd& native = form.label.NativeWindow();
    DestroyWindow(Label());
    EXPECT_EQ(log, "a");
    EXPECT_EQ(native.Filters().Count(), 0);
    EXPECT_EQ(native.Handle(), nullptr);
    EXPECT_EQ(form.label.Handle(), nullptr);
}

// A label whose listener's message operation is observed and scripted.
class SpyLabel : public CVolWinLabel {
public:
    int OnWindowMessage(WindowMessage& message) override {
        seen.push_back(message.message);
        if (message.message == kMsgLabel && rewriteTo != 0) {
            message.wParam = rewriteTo;
        }
        if (message.message == kProbe && stop) {
            message.result = 55;
            return 1;
        }
        return 0;
    }

    std::vector<UINT> seen;
    WPARAM rewriteTo = 0;
    bool stop = false;
};

TEST_F(WindowProcedure, TheListenerSeesMessagesAfterTheFiltersButNoFocusChanges) {
    SpyLabel spy;
    Recorder recorder;
    spy.LabelMessage.Bind(
        [](void* receiver, void* source, std::uint32_t extra, WPARAM wParam, LPARAM) {
            Recorder::Note(receiver, source, extra);
            return static_cast<int>(wParam) * 2;
        },
        recorder.Handle());
    spy.AttachListener();
    ASSERT_TRUE(spy.Create(&form, 0, 0, 50, 20, 130));

    SendMessageW(spy.Handle(), WM_SETFOCUS, 0, 0);
    SendMessageW(spy.Handle(), WM_KILLFOCUS, 0, 0);
    SendMessageW(spy.Handle(), kProbe, 0, 0);
    EXPECT_EQ(std::count(spy.seen.begin(), spy.seen.end(), UINT{WM_SETFOCUS}), 0);
    EXPECT_EQ(std::count(spy.seen.begin(), spy.seen.end(), UINT{WM_KILLFOCUS}), 0);
    EXPECT_EQ(std::count(spy.seen.begin(), spy.seen.end(), kProbe), 1);

    // A changed wParam goes on to the kind's handler and its event.
    EXPECT_EQ(SendMessageW(spy.Handle(), kMsgLabel, 4, 0), 8);
    spy.rewriteTo = 10;
    EXPECT_EQ(SendMessageW(spy.Handle(), kMsgLabel, 4, 0), 20);
    EXPECT_EQ(recorder.sources.size(), 2u);
    EXPECT_EQ(recorder.sources[0], &spy);

    // A listener that ends a message answers it; a filter that handles it hides it.
    spy.stop = true;
    EXPECT_EQ(SendMessageW(spy.Handle(), kProbe, 0, 0), 55);
    LoggingFilter a('a', log);
    a.handles = true;
    spy.NativeWindow().Filters().Add(&a);
    spy.seen.clear();
    SendMessageW(spy.Handle(), kProbe, 0, 0);
    EXPECT_TRUE(spy.seen.empty());
    spy.NativeWindow().Filters().Clear();
}

TEST_F(WindowProcedure, AControlWithNoBoundEventHasNoListenerAndStillWorks) {
    EXPECT_FALSE(form.check.HasListener());
    EXPECT_FALSE(form.edit.HasListener());
    EXPECT_FALSE(form.label.HasListener());
    EXPECT_TRUE(form.HasListener());
    EXPECT_TRUE(form.check.IsChecked());
    SendMessageW(form.check.Handle(), BM_CLICK, 0, 0);
    EXPECT_FALSE(form.check.IsChecked());
    SendMessageW(form.check.Handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(form.check.IsChecked());
    // A label message with nobody listening is left to the default processing.
    EXPECT_EQ(SendMessageW(form.label.Handle(), kMsgLabel, 4, 0), 0);
    form.edit.SetCaption(CWString(u"e:\\"));
    EXPECT_EQ(form.edit.GetText(), u"e:\\");
}

}  // namespace
