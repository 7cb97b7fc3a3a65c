#include "report/RefusalText.h"

std::u16string RefusalText(OpenRefusal refusal, bool elevated) {
    switch (refusal) {
        case OpenRefusal::NotALocalDirectory:
            return u"不是本机磁盘上的目录";
        case OpenRefusal::NoVolume:
            return u"没有这个驱动器，或驱动器中没有卷";
        case OpenRefusal::NetworkDrive:
            return u"这是网络驱动器，只能监控本机固定磁盘";
        case OpenRefusal::RemovableDrive:
            return u"这是可移动磁盘，只能监控本机固定磁盘";
        case OpenRefusal::OpticalDrive:
            return u"这是光盘驱动器，只能监控本机固定磁盘";
        case OpenRefusal::NotFixedDrive:
            return u"不是本机固定磁盘";
        case OpenRefusal::DirectoryMissing:
            return u"找不到这个目录";
        case OpenRefusal::DirectoryOnUnletteredVolume:
            return u"它所在的卷没有驱动器号（装入的文件夹），请先为该卷分配驱动器号";
        case OpenRefusal::NotNtfs:
            return u"不是 NTFS 卷";
        case OpenRefusal::DirectoryNotIdentified:
            return u"无法打开要监控的目录";
        case OpenRefusal::DirectoryOnOtherVolume:
            return u"要监控的目录不在这个卷上";
        case OpenRefusal::VolumeNotOpened:
            return elevated ? u"无法打开磁盘卷"
                            : u"拒绝访问：打开磁盘卷需要管理员权限，"
                              u"请在“以管理员身份运行”的命令提示符中启动";
        case OpenRefusal::JournalUnavailable:
            return u"无法打开它的 NTFS 更改日志";
        case OpenRefusal::WorkerNotStarted:
            return u"无法启动读取更改日志的线程";
        case OpenRefusal::None:
            break;
    }
    return u"原因不明";
}
