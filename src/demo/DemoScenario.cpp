#include "demo/DemoScenario.h"

#include <string>

#include "engine/StopSignal.h"

namespace {

std::u16string Number(int n) {
    std::u16string text;
    const std::string digits = std::to_string(n);
    for (const char c : digits) {
        text += static_cast<char16_t>(c);
    }
    return text;
}

}  // namespace

DemoScenario::DemoScenario(SimVolume& volume, std::chrono::milliseconds pace)
    : volume_(volume), pace_(pace) {
    steps_ = {
        [this] {
            minutes_ = volume_.MakeFile(demo_, Numbered(u"会议记录", u".txt"), 1800);
            return u"created a text file and wrote it";
        },
        [this] {
            volume_.Write(notes_, 4000, 600);
            return u"appended to notes.txt";
        },
        [this] {
            // An editor's save: the new text goes to a temporary file, the original is
            // renamed away, the temporary file takes its name, the old copy is deleted.
            const std::uint64_t temporary =
                volume_.MakeFile(demo_, u"~WRD" + Number(round_) + u".tmp", 5200);
            SimOpenFile original = volume_.Open(notes_);
            SimOpenFile saved = volume_.Open(temporary);
            original.Rename(demo_, u"~WRL" + Number(round_) + u".tmp");
            saved.Rename(demo_, u"notes.txt");
            original.Close();
            saved.Close();
            volume_.Delete(notes_);
            notes_ = temporary;
            return u"saved notes.txt through a temporary file";
        },
        [this] {
            volume_.Rename(minutes_, demo_, Numbered(u"会议纪要", u".txt"));
            return u"renamed the meeting notes";
        },
        [this] {
            photos_ = volume_.MakeDirectory(demo_, Numbered(u"照片", u""));
            photo_ = volume_.MakeFile(photos_, u"IMG_" + Number(1000 + round_) + u".jpg", 250000);
            return u"made a folder with a picture";
        },
        [this] {
            log_ = volume_.MakeFile(downloads_, Numbered(u"setup", u".log"), 900);
            volume_.Rename(log_, demo_, Numbered(u"setup", u".log"));
            return u"moved a log file in from Downloads";
        },
        [this] {
            volume_.Truncate(log_, 0);
            return u"emptied the log file";
        },
        [this] {
            volume_.Recycle(minutes_);
            return u"deleted the meeting notes to the recycle bin";
        },
        [this] {
            volume_.Delete(photo_);
            return u"deleted the picture for good";
        },
        [this] {
            volume_.Delete(photos_);
            return u"deleted the picture's folder for good";
        },
        [this] {
            volume_.Rename(log_, archive_, Numbered(u"setup", u".log"));
            return u"moved the log file out to the archive";
        },
        [this] {
            // As `fsutil usn deletejournal` and a new journal do: whatever was not read
            // before is gone, and a watch says so.
            volume_.RecreateJournal();
            ++round_;
            return u"deleted the change journal and made it again";
        },
    };
}

std::u16string DemoScenario::Numbered(std::u16string_view stem,
                                      std::u16string_view extension) const {
    return std::u16string(stem) + u"-" + Number(round_) + std::u16string(extension);
}

void DemoScenario::Prepare() {
    demo_ = volume_.MakeDirectories(u"\\demo");
    downloads_ = volume_.MakeDirectories(u"\\Users\\Public\\Downloads");
    archive_ = volume_.MakeDirectories(u"\\archive");
    notes_ = volume_.ChildByName(demo_, u"notes.txt");
    if (notes_ == 0) {
        notes_ = volume_.MakeFile(demo_, u"notes.txt", 4000);
    }
}

std::u16string DemoScenario::Step() {
    const std::u16string what = steps_[next_]();
    next_ = (next_ + 1) % steps_.size();
    return what;
}

void DemoScenario::Run(StopSignal& stop) {
    while (!stop.WaitFor(static_cast<unsigned>(pace_.count()))) {
        Step();
    }
}
