#include "report/NoticeReason.h"

NoticeReason ReasonOf(const FileChange& notice) {
    if (notice.kind == ChangeKind::Gap) {
        switch (static_cast<JournalGap>(notice.why)) {
            case JournalGap::kOverwritten:
                return {"overwritten", u"更改日志在读到之前已被覆盖，其间的变化无法显示"};
            case JournalGap::kReplaced:
                return {"replaced", u"更改日志已被删除并重建，其间的变化无法显示"};
            case JournalGap::kOverwrittenWhileAway:
                return {"overwrittenWhileAway",
                        u"更改日志在上次监控之后已被覆盖，其间的变化无法显示"};
        }
    } else if (notice.kind == ChangeKind::Ended) {
        switch (static_cast<WatchEnd>(notice.why)) {
            case WatchEnd::kVolumeGone:
                return {"volumeGone", u"磁盘卷已不可用"};
            case WatchEnd::kJournalUnavailable:
                return {"journalUnavailable", u"更改日志无法再打开"};
            case WatchEnd::kRemovalRequested:
                return {"removalRequested", u"磁盘正在被安全移除"};
        }
    }
    return {"unknown", u"原因不明"};
}
