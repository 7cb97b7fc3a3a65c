#include "engine/DirectoryEnumeration.h"

#include <gtest/gtest.h>

#include "engine/FileRecordIndex.h"
#include "runtime/text/Utf8.h"
#include "sim/SimPlatform.h"
#include "sim/SimVolume.h"

namespace {

class Enumeration : public ::testing::Test {
protected:
    SimPlatform platform;
    SimVolume& volume = platform.AddDrive(u'C');
    PlatformHandle handle = kInvalidPlatformHandle;
    StopSignal stop;
    FileRecordIndex index;

    void TearDown() override {
        if (handle != kInvalidPlatformHandle) {
            platform.CloseVolume(handle);
        }
    }
    void Enumerate() {
        handle = platform.OpenVolume(CWString(u"\\\\.\\C:"));
        ASSERT_NE(handle, kInvalidPlatformHandle);
        EnumerateDirectories(platform, handle, stop, index);
    }
    std::uint64_t ParentOf(std::uint64_t directory) const {
        std::uint64_t parent = 0;
        return index.FindParent(directory, parent) ? parent : 0;
    }
};

TEST_F(Enumeration, EveryDirectoryIsEnteredWithItsParentAndNameAndFilesAreNot) {
    struct Entered {
        std::uint64_t directory, parent;
        std::u16string name;
    };
    std::vector<Entered> directories;
    std::vector<std::uint64_t> files;
    std::uint64_t parent = SimVolume::kRoot;
    for (int depth = 0; depth < 6; ++depth) {
        for (int i = 0; i < 300; ++i) {  // enough for many portions of the buffer
            // Names of any length NTFS allows, some beyond the basic plane.
            const std::u16string name = u"目录" + std::u16string(1, u'a' + depth) +
                                        FromUtf8(std::to_string(i)) +
                                        std::u16string(static_cast<std::size_t>(i % 240), u'x') +
                                        (i % 7 == 0 ? u"\U0001F600" : u"");
            const auto d = volume.AddExisting(parent, name, ntfs::kAttributeDirectory);
            ASSERT_NE(d, 0u) << i;
            directories.push_back({d, parent, name});
            files.push_back(volume.AddExisting(d, u"file.txt"));
        }
        parent = directories.back().directory;
    }
    Enumerate();
    for (const Entered& entered : directories) {
        std::uint64_t parentFound = 0;
        std::u16string_view name;
        ASSERT_TRUE(index.FindEntry(entered.directory, parentFound, name));
        EXPECT_EQ(parentFound, entered.parent);
        EXPECT_EQ(name, entered.name);
    }
    for (const auto file : files) {
        std::uint64_t ignored;
        EXPECT_FALSE(index.FindParent(file, ignored));
    }
    EXPECT_GE(index.Size(), directories.size());
    EXPECT_LE(index.Size(), directories.size() + 8)
        << "only the volume's own few directories beside them";
    EXPECT_GT(volume.RequestCount(ntfs::kFsctlEnumUsnData), 10u);
}

TEST_F(Enumeration, AKnownCountSizesTheIndexOnceForAllItsDirectories) {
    constexpr std::size_t kDirectories = 3000;
    for (std::size_t i = 0; i < kDirectories; ++i) {
        volume.AddExisting(SimVolume::kRoot, u"d" + FromUtf8(std::to_string(i)),
                           ntfs::kAttributeDirectory);
    }
    handle = platform.OpenVolume(CWString(u"\\\\.\\C:"));
    EnumerateDirectories(platform, handle, stop, index, kDirectories + 8);
    FileRecordIndex sizedOnce;
    sizedOnce.Reserve(kDirectories + 8);
    EXPECT_EQ(index.TableBytes(), sizedOnce.TableBytes());
    EXPECT_GE(index.Size(), kDirectories);
    EXPECT_EQ(ParentOf(volume.Lookup(u"\\d2999")), SimVolume::kRoot);
}

TEST_F(Enumeration, AFailedRequestEndsItWithWhatWasCollected) {
    for (int i = 0; i < 2000; ++i) {
        volume.AddExisting(SimVolume::kRoot, u"d" + FromUtf8(std::to_string(i)),
                           ntfs::kAttributeDirectory);
    }
    int requests = 0;
    volume.SetRequestHook([&](std::uint32_t code) {
        if (code == ntfs::kFsctlEnumUsnData && ++requests == 3) {
            volume.FailNextRequests(1, ntfs::kFsctlEnumUsnData);
        }
    });
    Enumerate();
    EXPECT_EQ(requests, 3);
    EXPECT_GT(index.Size(), 0u);
    EXPECT_LT(index.Size(), 2000u);
}

TEST_F(Enumeration, AStopSetBeforehandEnumeratesNothing) {
    volume.AddExisting(SimVolume::kRoot, u"d", ntfs::kAttributeDirectory);
    stop.Set();
    Enumerate();
    EXPECT_EQ(index.Size(), 0u);
    EXPECT_EQ(volume.RequestCount(ntfs::kFsctlEnumUsnData), 0u);
}

}  // namespace
