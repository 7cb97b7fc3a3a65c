#pragma once

#include <memory>

#include "sim/SimPlatform.h"
#include "sim/SimVolume.h"

// Every way a typed path can lead elsewhere, added to a simulated machine that has drive
// C:: the junctions C:\toData (to C:\data), C:\toD (to D:\data) and C:\toN (to N:\data),
// the folders C:\mnt\d where D: is mounted and C:\mnt\backup where a volume without a
// letter is; D: with D:\data; S: a subst drive for C:\data; N: a network drive and E: a
// removable one, each with \data.
struct LinkedDrives {
    explicit LinkedDrives(SimPlatform& platform)
        : d(platform.AddDrive(u'D')), e(platform.AddDrive(u'E')), n(platform.AddDrive(u'N')) {
        SimVolume& c = *platform.Drive(u'C');
        for (const char16_t* folder :
             {u"\\data", u"\\toData", u"\\toD", u"\\toN", u"\\mnt\\d", u"\\mnt\\backup"}) {
            c.MakeDirectories(folder);
        }
        for (SimVolume* volume : {&d, &e, &n}) {
            volume->MakeDirectories(u"\\data");
        }
        platform.AddLink(u"C:\\toData", u"C:\\data");
        platform.AddLink(u"C:\\toD", u"D:\\data");
        platform.AddLink(u"C:\\toN", u"N:\\data");
        platform.MountVolume(u"C:\\mnt\\d", platform.Drive(u'D'));
        platform.MountVolume(u"C:\\mnt\\backup",
                             std::make_shared<SimVolume>(platform.SharedClock(), 9));
        platform.AddSubstDrive(u'S', u"C:\\data");
        platform.SetDriveType(u'N', ntfs::kDriveRemote);
        platform.SetDriveType(u'E', ntfs::kDriveRemovable);
    }

    SimVolume& d;
    SimVolume& e;
    SimVolume& n;
};
