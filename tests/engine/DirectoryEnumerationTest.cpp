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

TEST_F(Enumeration, EveryDirectoryIsEnteredWithItsParentAndFilesAreNot) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> directories;
    std::vector<std::uint64_t> files;
    std::uint64_t parent = SimVolume::kRoot;
    for (int depth = 0; depth < 6; ++depth) {
        for (int i = 0; i < 300; ++i) {  // enough for many portions of the buffer
            const auto d = volume.AddExisting(
                parent, u"dir" + std::u16string(1, u'a' + depth) + FromUtf8(std::to_string(i)),
                ntfs::kAttributeDirectory);
            directories.emplace_back(d, parent);
            files.push_back(volume.AddExisting(d, u"file.txt"));
        }
        parent = directories.back().first;
    }
    Enumerate();
    for (const auto& [directory, expectedParent] : directories) {
        EXPECT_EQ(ParentOf(directory), expectedParent);
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
