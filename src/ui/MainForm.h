#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "engine/FileChange.h"
#include "engine/VolumePlatform.h"
#include "monitor/FileChangeMonitor.h"
#include "runtime/events/CVolEventObjectPointer.h"
#include "runtime/events/HandOverQueue.h"
#include "runtime/forms/CVolWinButton.h"
#include "runtime/forms/CVolWinCheckBox.h"
#include "runtime/forms/CVolWinEdit.h"
#include "runtime/forms/CVolWinForm.h"
#include "runtime/forms/CVolWinLabel.h"
#include "runtime/forms/DisplayScale.h"
#include "runtime/text/CWString.h"
#include "runtime/win32/RemovalNotice.h"
#include "ui/LogBoxWriter.h"

// The program's one window: the directory to watch, the kinds of change to show, start,
// stop and clear, and the information box with one line per change.
//
// Threads: clicks run on the window's thread; the change handler runs on the watched
// volume's worker thread. It reads the kind's check box from the copy the box keeps,
// builds the line and queues it, and never waits for the window's thread: the
// first line of a batch posts kLinesQueued, on which the window's thread appends the
// lines queued, in the order they came, in turns on a timer while they keep coming. The queue is
// closed when the window goes, so that no line is appended after it is gone; it outlives the
// watches, which end first.
class MainForm : public CVolWinForm {
public:
    static constexpr int kClientWidth = 598;
    static constexpr int kClientHeight = 494;
    static constexpr char16_t kTitle[] = u"砚舟文件动态监控  https://yanzhou.example/file-monitor";
    // The information box keeps the newest lines: past kLogLineLimit the oldest go, down
    // to kLogLineLimit - kLogTrimBlock.
    static constexpr std::size_t kLogLineLimit = 200000;
    static constexpr std::size_t kLogTrimBlock = 20000;
    // The most lines the window's thread appends in one turn, and the pause between turns
    // while lines keep coming (its timer's id).
    static constexpr std::size_t kLinesPerTurn = 5000;
    static constexpr UINT kLineTurnMs = 40;
    static constexpr UINT_PTR kLineTimer = 1;
    // Posted to the window when lines wait in the queue.
    static constexpr UINT kLinesQueued = WM_APP + 1;

    // Watches volumes through `platform` (the real volumes, or a simulated machine).
    explicit MainForm(VolumePlatform& platform);
    ~MainForm() override;

    int ClientWidth() const override;
    int ClientHeight() const override;
    void CreateChildren() override;
    bool PreTranslateMessage(MSG& message) override;
    int OnWindowMessage(WindowMessage& message) override;
    void OnWindowDestroy() override;

    // For tests: the controls, the monitor and the drive of the last start.
    CVolWinCheckBox& RenameCheck() { return renameCheck; }
    CVolWinCheckBox& ModifyCheck() { return modifyCheck; }
    CVolWinCheckBox& DeleteCheck() { return deleteCheck; }
    CVolWinCheckBox& CreateCheck() { return createCheck; }
    CVolWinButton& ClearButton() { return clearButton; }
    CVolWinButton& BrowseButton() { return browseButton; }
    CVolWinButton& StartButton() { return startButton; }
    CVolWinButton& StopButton() { return stopButton; }
    CVolWinEdit& DirectoryEdit() { return directoryEdit; }
    CVolWinEdit& LogEdit() { return logEdit; }
    FileChangeMonitor& Monitor() { return monitor; }
    char16_t WatchedDrive() const { return watchedDrive; }

private:
    void BindButtonEvents();
    static int OnButtonClicked(void* receiver, void* source, std::uint32_t extra);
    // Every change and notice the window shows comes here, on the worker's thread.
    static int OnChange(void* receiver, void* source, std::uint32_t extra,
                        const FileChange& change);
    // On the window's thread, after a watch ended by itself: back to Idle.
    void EndedByItself();
    // The system asks whether the device of a volume may be removed.
    void RemovalAsked(WPARAM event, LPARAM data);

    // Starts or stops the watch, unless a start or stop is in progress.
    void SwitchWatch(bool start);
    void Clear();
    void ChooseDirectory();
    void Start();
    void Stop();
    void ShowWarning(const char16_t* text);
    void ShowRefusal(OpenRefusal refusal);
    void SetRunning(bool running);
    // The box that gates a kind of change the window shows; none for a kind it never shows.
    const CVolWinCheckBox* GateOf(ChangeKind kind) const;
    // Whether the window shows a kind now: a notice that has a line always, a change while
    // its box is ticked (the copy of its state the box keeps, so the worker asks no other
    // thread). Any thread.
    bool Shows(ChangeKind kind) const;
    // Queues the change's line for the information box. Any thread.
    void QueueLine(const FileChange& change);
    // The window's thread: appends a turn of the lines queued.
    void AppendQueuedLines();
    // The window's thread: lays the window and its controls out again at another
    // resolution, in the rectangle the system suggests.
    void ChangeResolution(int dotsPerInch, const RECT& suggested);
    // The scale the window is laid out at: the display's, until the window moves to a
    // monitor of another resolution.
    double Scale() const { return movedScale.value_or(DisplayScale); }
    // The twelve controls in creation order.
    std::array<CVolWinControl*, 12> Controls();

    // The window the workers post to, none once it is going.
    std::atomic<HWND> formWindow{nullptr};
    // Lines on their way from the workers to the information box. Constructed before the
    // monitor, so that it outlives every watch.
    HandOverQueue<std::u16string> lines;
    LogBoxWriter logWriter{kLogLineLimit, kLogTrimBlock};
    std::optional<double> movedScale;

    // Controls in creation order, which is also the tab order.
    CVolWinCheckBox renameCheck;
    CVolWinCheckBox modifyCheck;
    CVolWinCheckBox deleteCheck;
    CVolWinLabel kindsLabel;
    CVolWinCheckBox createCheck;
    CVolWinButton clearButton;
    CVolWinButton browseButton;
    CVolWinEdit directoryEdit;
    CVolWinLabel directoryLabel;
    CVolWinButton stopButton;
    CVolWinEdit logEdit;
    CVolWinButton startButton;
    FileChangeMonitor monitor;
    char16_t watchedDrive = 0;  // the drive of the last start; none before the first
    CVolEventObjectPointer* eventHandle;
    VolumePlatform& platform;
    // A start or stop in progress. Its waits serve messages sent by other threads, and an
    // automation tool's click is one: a second start or stop inside the first would free
    // the engine the first still works on.
    bool switchingWatch = false;
    // Tells the window before the watched volume's device is removed, while a watch runs.
    RemovalNotice removalNotice;
};
