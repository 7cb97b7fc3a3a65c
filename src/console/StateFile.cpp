#include "console/StateFile.h"

#include "runtime/text/Utf8.h"

std::optional<WatchState> StateFile::Load(std::u16string& error) {
    std::string bytes;
    switch (host_.ReadWholeFile(path_, bytes)) {
        case ConsoleHost::ReadResult::kMissing:
            return WatchState();
        case ConsoleHost::ReadResult::kFailed:
            error = u"无法读取状态文件：" + path_;
            return std::nullopt;
        case ConsoleHost::ReadResult::kRead:
            break;
    }
    std::string reason;
    std::optional<WatchState> state = WatchState::Parse(bytes, reason);
    if (!state) {
        error = u"状态文件无法解析：" + path_ + u"：" + FromUtf8(reason);
    }
    return state;
}

bool StateFile::Save(const WatchState& state) {
    return host_.WriteDurably(staged_, state.Text()) && host_.MoveOver(staged_, path_);
}
