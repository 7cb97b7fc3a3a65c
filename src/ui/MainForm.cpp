#include "ui/MainForm.h"

#include <shlobj.h>

#include <span>
#include <utility>

#include "engine/WatchedDirectory.h"
#include "report/ChangeLine.h"
#include "report/RefusalText.h"
#include "runtime/forms/DisplayScale.h"
#include "runtime/text/CWConstString.h"
#include "runtime/text/DateTimeValue.h"
#include "runtime/text/WideText.h"

namespace {

// Where each control sits, in base units at 96 dots per inch.
struct Place {
    int x, y, width, height;
    std::uint32_t id;
};
constexpr Place kRenameCheck{349, 416, 72, 24, 101};
constexpr Place kModifyCheck{252, 416, 80, 24, 102};
constexpr Place kDeleteCheck{187, 416, 48, 24, 103};
constexpr Place kKindsLabel{37, 414, 64, 24, 104};
constexpr Place kCreateCheck{122, 416, 48, 24, 105};
constexpr Place kClearButton{53, 446, 80, 32, 106};
constexpr Place kBrowseButton{493, 379, 64, 32, 107};
constexpr Place kDirectoryEdit{101, 382, 376, 24, 108};
constexpr Place kDirectoryLabel{37, 382, 64, 24, 109};
constexpr Place kStopButton{461, 446, 80, 32, 110};
constexpr Place kLogEdit{6, 6, 583, 368, 111};
constexpr Place kStartButton{257, 446, 80, 32, 112};
constexpr Place kPlaces[] = {kRenameCheck,    kModifyCheck, kDeleteCheck,  kKindsLabel,
                             kCreateCheck,    kClearButton, kBrowseButton, kDirectoryEdit,
                             kDirectoryLabel, kStopButton,  kLogEdit,      kStartButton};

constexpr char16_t kEmptyDirectory[] = u"先选择路径再开始";
constexpr char16_t kMissingDirectory[] = u"所选目录不存在，请重新选择";
constexpr char16_t kRefused[] = u"无法开始监控：";
constexpr char16_t kWarningCaption[] = u"信息:";
// Posted by a worker whose watch ended by itself, for the window's thread.
constexpr UINT kMsgWatchEnded = MainForm::kLinesQueued + 1;
constexpr char16_t kBrowseTitle[] = u"选择监控的目录";

void CreateAt(CVolWinControl& control, CVolWinContainer* parent, const Place& p, double scale) {
    control.Create(parent, ScaleBy(p.x, scale), ScaleBy(p.y, scale), ScaleBy(p.width, scale),
                   ScaleBy(p.height, scale), p.id);
}

const Place* PlaceOf(int id) {
    for (const Place& place : kPlaces) {
        if (static_cast<int>(place.id) == id) {
            return &place;
        }
    }
    return nullptr;
}

MainForm* FormOf(void* receiver) {
    return static_cast<MainForm*>(receiver);
}

}  // namespace

MainForm::MainForm(VolumePlatform& platformToUse)
    : lines(kLogLineLimit,
            [this] {
                // A worker's post: it never waits for the window's thread. A window on
                // its way out drops the post, which is harmless.
                const HWND window = formWindow.load();
                return window != nullptr && PostMessageW(window, kLinesQueued, 0, 0) != FALSE;
            }),
      monitor(platformToUse),
      eventHandle(new CVolEventObjectPointer(this)),
      platform(platformToUse) {
    SetCaption(CWConstString(kTitle));
    // Only the kinds the window can show are bound: the engine builds nothing for the rest,
    // and nothing for an unticked kind.
    for (const ChangeKindNames& names : kChangeKinds) {
        if (IsNotice(names.kind) ? !KindLabel(names.kind).empty() : GateOf(names.kind) != nullptr) {
            monitor.Event(names.kind).Bind(OnChange, eventHandle);
        }
    }
    monitor.SetFilter([this](ChangeKind kind) { return Shows(kind); });
}

MainForm::~MainForm() {
    // End every watch first: no handler is then in progress, and none queues a line into a
    // queue on its way out.
    monitor.Reset();
    eventHandle->TearDown();
}

int MainForm::ClientWidth() const {
    return ScaleBy(kClientWidth, Scale());
}

int MainForm::ClientHeight() const {
    return ScaleBy(kClientHeight, Scale());
}

std::array<CVolWinControl*, 12> MainForm::Controls() {
    return {&renameCheck,    &modifyCheck, &deleteCheck,  &kindsLabel,
            &createCheck,    &clearButton, &browseButton, &directoryEdit,
            &directoryLabel, &stopButton,  &logEdit,      &startButton};
}

void MainForm::BindButtonEvents() {
    for (CVolWinButton* button : {&clearButton, &browseButton, &stopButton, &startButton}) {
        button->Clicked.Bind(OnButtonClicked, eventHandle);
        button->AttachListener();
    }
}

void MainForm::CreateChildren() {
    lines.Open();
    BindButtonEvents();
    const double scale = Scale();
    auto checkBox = [&](CVolWinCheckBox& box, const char16_t* caption, const Place& place) {
        box.SetCaption(CWConstString(caption));
        CreateAt(box, this, place, scale);
        box.SetChecked();
    };
    auto other = [&](CVolWinControl& control, const char16_t* caption, const Place& place) {
        control.SetCaption(CWConstString(caption));
        CreateAt(control, this, place, scale);
    };
    checkBox(renameCheck, u"修改名称", kRenameCheck);
    checkBox(modifyCheck, u"修改内容", kModifyCheck);
    checkBox(deleteCheck, u"删除", kDeleteCheck);
    other(kindsLabel, u"监控类型：", kKindsLabel);
    checkBox(createCheck, u"新建", kCreateCheck);
    other(clearButton, u"清空", kClearButton);
    other(browseButton, u"选择目录", kBrowseButton);
    other(directoryEdit, u"C:\\", kDirectoryEdit);
    other(directoryLabel, u"监控目录：", kDirectoryLabel);
    stopButton.SetEnabled(false);
    other(stopButton, u"停止", kStopButton);
    logEdit.SetMultiLine(true);
    logEdit.SetScrollBars(3);
    CreateAt(logEdit, this, kLogEdit, scale);
    other(startButton, u"开始", kStartButton);
    formWindow = Handle();
}

void MainForm::OnWindowDestroy() {
    // The children go after the form: from now on no line is kept for them, and the workers
    // find no window to post to.
    formWindow = nullptr;
    lines.Close();
    removalNotice = RemovalNotice();
    CVolWinForm::OnWindowDestroy();
}

int MainForm::OnWindowMessage(WindowMessage& message) {
    switch (message.message) {
        case kMsgWatchEnded:
            EndedByItself();
            return 1;
        case WM_DEVICECHANGE:
            RemovalAsked(message.wParam, message.lParam);
            message.result = TRUE;  // the removal may go on: nothing here holds the device
            return 1;
        case kLinesQueued:
            AppendQueuedLines();
            message.result = 0;
            return 1;
        case WM_TIMER:
            if (message.wParam != kLineTimer) {
                break;
            }
            AppendQueuedLines();
            message.result = 0;
            return 1;
        case WM_DPICHANGED:
            if (message.lParam == 0) {
                break;
            }
            ChangeResolution(HIWORD(message.wParam),
                             *reinterpret_cast<const RECT*>(message.lParam));
            message.result = 0;
            return 1;
        default:
            break;
    }
    return CVolWinForm::OnWindowMessage(message);
}

// As at the start: the layout at the new resolution's scale, and fonts of 9 points there.
void MainForm::ChangeResolution(int dotsPerInch, const RECT& suggested) {
    movedScale = ScaleOfDotsPerInch(static_cast<unsigned>(dotsPerInch));
    const double scale = *movedScale;
    SetWindowPos(Handle(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    for (CVolWinControl* control : Controls()) {
        control->SetFontResolution(dotsPerInch);
        const HWND window = control->Handle();
        if (const Place* place = PlaceOf(GetDlgCtrlID(window)); place != nullptr) {
            SetWindowPos(window, nullptr, ScaleBy(place->x, scale), ScaleBy(place->y, scale),
                         ScaleBy(place->width, scale), ScaleBy(place->height, scale),
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
}

void MainForm::RemovalAsked(WPARAM event, LPARAM data) {
    if (switchingWatch || !removalNotice.AsksToRemove(event, data)) {
        return;
    }
    // The registration goes before the handle, as the system asks; the watch then ends,
    // saying why, and its worker's notice brings the window back to Idle.
    const PlatformHandle volume = monitor.VolumeOf(watchedDrive);
    removalNotice = RemovalNotice();
    monitor.StopWatchForRemoval(volume);
}

void MainForm::EndedByItself() {
    if (switchingWatch || !monitor.HasEnded(watchedDrive)) {
        return;  // stopped, or started again, in the meantime
    }
    removalNotice = RemovalNotice();
    monitor.StopWatch(watchedDrive);
    SetRunning(false);
}

bool MainForm::PreTranslateMessage(MSG& message) {
    if (message.message != WM_KEYDOWN || Handle() == nullptr) {
        return false;  // character messages and the rest go their own way
    }
    const HWND form = Handle();
    const HWND focus = GetFocus();
    const bool control = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const bool alt = GetKeyState(VK_MENU) < 0;
    wchar_t focusClass[16] = {};
    if (focus != nullptr) {
        GetClassNameW(focus, focusClass, 16);
    }
    const bool inEdit = lstrcmpiW(focusClass, L"Edit") == 0;
    switch (message.wParam) {
        case VK_ESCAPE:
            if (!control && !shift && !alt && (focus == nullptr || IsWindowEnabled(focus))) {
                PostMessageW(form, WM_CLOSE, 0, 0);
                return true;
            }
            break;
        case 'A':
        case 'C':
        case 'V':
        case 'X':
            if (control && inEdit) {
                return false;
            }
            break;
        case VK_TAB:
            if (inEdit) {
                if (control || alt) {
                    return false;  // the box's own: only Tab and Shift+Tab leave it
                }
                if (const HWND next = GetNextDlgTabItem(form, focus, shift ? TRUE : FALSE)) {
                    SetFocus(next);
                }
                return true;
            }
            break;
        case VK_RETURN:
            return false;  // the focused control's: the information box starts a new line
        default:
            break;
    }
    return IsDialogMessageW(form, &message) != FALSE;
}

int MainForm::OnButtonClicked(void* receiver, void* source, std::uint32_t) {
    MainForm* self = FormOf(receiver);
    if (source == &self->clearButton) {
        self->Clear();
    } else if (source == &self->browseButton) {
        self->ChooseDirectory();
    } else if (source == &self->startButton || source == &self->stopButton) {
        self->SwitchWatch(source == &self->startButton);
    }
    return 0;
}

void MainForm::SwitchWatch(bool start) {
    if (switchingWatch) {
        return;  // a click served by the wait of a start or stop in progress
    }
    switchingWatch = true;
    if (start) {
        Start();
    } else {
        Stop();
    }
    switchingWatch = false;
}

void MainForm::Clear() {
    lines.TakeAll();  // lines that came before the click, not shown yet
    logEdit.SetCaption(CWString());
}

void MainForm::ChooseDirectory() {
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW info{};
    info.hwndOwner = Handle();
    info.pszDisplayName = displayName;
    info.lpszTitle = Wide(kBrowseTitle);
    info.ulFlags = BIF_EDITBOX;
    CWString chosen;
    if (PIDLIST_ABSOLUTE items = SHBrowseForFolderW(&info)) {
        wchar_t path[MAX_PATH] = {};
        if (SHGetPathFromIDListW(items, path) && path[0] != L'\0') {
            chosen = CWString(Utf16(path));
        }
        IMalloc* shellAllocator = nullptr;
        if (SUCCEEDED(SHGetMalloc(&shellAllocator))) {
            shellAllocator->Free(items);
            shellAllocator->Release();
        }
    }
    directoryEdit.SetCaption(chosen);  // a cancel, or an item without a path, empties the box
}

void MainForm::ShowWarning(const char16_t* text) {
    const HWND focus = GetFocus();
    MessageBoxW(Handle(), Wide(text), Wide(kWarningCaption), MB_OK | MB_ICONWARNING);
    if (focus != nullptr && IsWindow(focus)) {
        SetFocus(focus);
    }
}

// The button that takes over gets the focus when the focused one is disabled: a disabled
// window loses the focus, and no control would have it.
void MainForm::SetRunning(bool running) {
    CVolWinButton& enabled = running ? stopButton : startButton;
    CVolWinButton& disabled = running ? startButton : stopButton;
    enabled.SetEnabled(true);
    if (disabled.Handle() != nullptr && GetFocus() == disabled.Handle() &&
        enabled.Handle() != nullptr) {
        SetFocus(enabled.Handle());
    }
    disabled.SetEnabled(false);
}

// The directory as Windows reads the text, followed through links to the directory that
// is watched: the watch covers that directory, or none at all. Only a drive of a fixed
// type is looked into (a look at a network drive can stall the window, one at a removable
// drive can wait for its media); the rest is refused by its type.
void MainForm::Start() {
    const CWString text = directoryEdit.GetText();
    if (text.View().find_first_not_of(u' ') == std::u16string_view::npos) {
        ShowWarning(kEmptyDirectory);
        return;
    }
    const WatchedDirectory directory = WatchedDirectory::Resolve(platform, text.View());
    if (directory.refusal == OpenRefusal::DirectoryMissing) {
        ShowWarning(kMissingDirectory);
        return;
    }
    if (directory.refusal != OpenRefusal::None) {
        ShowRefusal(directory.refusal);
        return;
    }
    watchedDrive = directory.drive;
    if (!monitor.StartWatch(watchedDrive, std::span(&directory, 1))) {
        ShowRefusal(monitor.LastRefusal());  // a refused watch would show Running and never a line
        return;
    }
    // An open volume blocks the removal of its disk: the window is told first.
    removalNotice =
        RemovalNotice(Handle(), reinterpret_cast<HANDLE>(monitor.VolumeOf(watchedDrive)));
    SetRunning(true);
}

void MainForm::ShowRefusal(OpenRefusal refusal) {
    const std::u16string text = kRefused + RefusalText(refusal);
    ShowWarning(text.c_str());
}

void MainForm::Stop() {
    removalNotice = RemovalNotice();
    monitor.StopWatch(watchedDrive);
    SetRunning(false);
}

const CVolWinCheckBox* MainForm::GateOf(ChangeKind kind) const {
    switch (kind) {
        case ChangeKind::Created:
            return &createCheck;
        case ChangeKind::Deleted:
        case ChangeKind::Recycled:
            return &deleteCheck;
        case ChangeKind::ContentChanged:
            return &modifyCheck;
        case ChangeKind::Renamed:
        case ChangeKind::Moved:
            return &renameCheck;
        default:
            return nullptr;
    }
}

bool MainForm::Shows(ChangeKind kind) const {
    if (IsNotice(kind)) {
        return !KindLabel(kind).empty();
    }
    const CVolWinCheckBox* box = GateOf(kind);
    return box != nullptr && box->IsChecked();
}

void MainForm::QueueLine(const FileChange& change) {
    lines.Give(ChangeLine(TimeOfDayText(Now()).View(), change));
}

// A turn of lines, then the next turn on a timer while lines keep coming: posted messages
// come before input and painting, and a stream of them would leave the window deaf and
// unpainted. The timer's message comes after both.
void MainForm::AppendQueuedLines() {
    std::deque<std::u16string> turn = lines.TakeTurn(kLinesPerTurn);
    if (turn.empty()) {
        KillTimer(Handle(), kLineTimer);
        return;
    }
    logWriter.Append(logEdit.Handle(), turn);
    SetTimer(Handle(), kLineTimer, kLineTurnMs, nullptr);
}

int MainForm::OnChange(void* receiver, void* source, std::uint32_t, const FileChange& change) {
    MainForm* self = FormOf(receiver);
    // The box is read again as the change arrives: it may have been cleared since the
    // engine asked.
    if (source != &self->monitor || !self->Shows(change.kind)) {
        return 0;
    }
    self->QueueLine(change);
    if (change.kind == ChangeKind::Ended) {
        if (const HWND form = self->formWindow.load()) {
            PostMessageW(form, kMsgWatchEnded, 0, 0);
        }
    }
    return 0;
}
