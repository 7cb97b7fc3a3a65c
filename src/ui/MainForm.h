#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "engine/VolumePlatform.h"
#include "monitor/FileChangeMonitor.h"
#include "report/FileChange.h"
#include "runtime/events/CVolEventObjectPointer.h"
#include "runtime/forms/CVolWinButton.h"
#include "runtime/forms/CVolWinCheckBox.h"
#include "runtime/forms/CVolWinEdit.h"
#include "runtime/forms/CVolWinForm.h"
#include "runtime/forms/CVolWinLabel.h"
#include "runtime/text/CWString.h"
#include "runtime/win32/RemovalNotice.h"

// The program's one window: the directory to watch, the kinds of change to show, start,
// stop and clear, and the information box with one line per change.
//
// Threads: clicks run on the window's thread; the change handlers run on the watched
// volume's worker thread and reach the controls only through sent messages, which the
// window's thread carries out (also while it waits in a stop, which serves them). The
// window handles those handlers use are kept apart and cleared when the window goes, so
// that no line is appended after it is gone.
class MainForm : public CVolWinForm {
public:
    static constexpr int kClientWidth = 598;
    static constexpr int kClientHeight = 494;
    static constexpr char16_t kTitle[] = u"砚舟文件动态监控  https://yanzhou.example/file-monitor";

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
    const CWString& WatchedDrive() const { return watchedDrive; }

private:
    void BindButtonEvents();
    static int OnButtonClicked(void* receiver, void* source, std::uint32_t extra);
    static int OnFileCreated(void* receiver, void* source, std::uint32_t extra, CWString& drive,
                             CWString& name, CWString& dir);
    static int OnFileDeleted(void* receiver, void* source, std::uint32_t extra, CWString& drive,
                             CWString& name, CWString& dir);
    static int OnFileContentChanged(void* receiver, void* source, std::uint32_t extra,
                                    CWString& drive, CWString& name, CWString& dir);
    static int OnFileRenamed(void* receiver, void* source, std::uint32_t extra, CWString& drive,
                             CWString& oldName, CWString& newName, CWString& dir);
    static int OnFileRecycled(void* receiver, void* source, std::uint32_t extra, CWString& drive,
                              CWString& oldName, CWString& oldDir, CWString& newPath);
    static int OnFileMoved(void* receiver, void* source, std::uint32_t extra, CWString& drive,
                           CWString& oldName, CWString& newName, CWString& oldDir,
                           CWString& newDir);
    // Notices about the watch itself: shown whatever the boxes say.
    static int OnJournalGap(void* receiver, void* source, std::uint32_t extra, CWString& drive,
                            CWString& root, int reason, std::int64_t firstLostUsn,
                            std::int64_t resumeUsn);
    static int OnWatchEnded(void* receiver, void* source, std::uint32_t extra, CWString& drive,
                            CWString& root, int reason);
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
    // Whether a line of the kind its gate lets through is wanted now (read afresh each time).
    bool Wanted(const std::atomic<HWND>& gate) const;
    // The change's line, when it comes from this window's monitor and its box is ticked.
    void Show(void* source, const std::atomic<HWND>& gate, const FileChange& change);
    void AppendLogLine(const FileChange& change);

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
    CWString watchedDrive;
    CVolEventObjectPointer* eventHandle;
    VolumePlatform& platform;
    // A start or stop in progress. Its waits serve messages sent by other threads, and an
    // automation tool's click is one: a second start or stop inside the first would free
    // the engine the first still works on.
    bool switchingWatch = false;

    // Tells the window before the watched volume's device is removed, while a watch runs.
    RemovalNotice removalNotice;

    // The windows the worker threads send to, none once the form's window is going.
    std::atomic<HWND> renameGate{nullptr};
    std::atomic<HWND> modifyGate{nullptr};
    std::atomic<HWND> deleteGate{nullptr};
    std::atomic<HWND> createGate{nullptr};
    std::atomic<HWND> logWindow{nullptr};
    std::atomic<HWND> formWindow{nullptr};
};
