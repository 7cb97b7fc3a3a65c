// FILE_NOTIFY_INFORMATION records read from bytes: what a well-formed buffer holds, and
// what is kept of one that is not (run under AddressSanitizer: no read past the bytes).

#include "demo/FileNotifyRecords.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

using file_notify::Encode;
using file_notify::Parse;

void Put32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    std::memcpy(bytes.data() + offset, &value, 4);
}

const std::vector<FolderChange> kTwo = {
    {FolderAction::kRenamedOldName, u"sub\\a.txt"},
    {FolderAction::kRenamedNewName, u"sub\\会议纪要.txt"},
};

TEST(FileNotifyRecords, WellFormedRecordsReadBackAsWritten) {
    for (const auto& changes : {kTwo, std::vector<FolderChange>{{FolderAction::kAdded, u"x"}}}) {
        const file_notify::Parsed parsed = Parse(Encode(changes));
        EXPECT_TRUE(parsed.complete);
        EXPECT_EQ(parsed.changes, changes);
    }
    // Each record starts on a 4-byte boundary: "x" takes 12 + 2 bytes, padded to 16.
    EXPECT_EQ(Encode({{FolderAction::kAdded, u"x"}, {FolderAction::kAdded, u"y"}}).size(), 32u);
}

struct Damage {
    const char* what;
    void (*apply)(std::vector<std::uint8_t>& bytes);
    std::size_t kept;  // changes read before the damage
};

// kTwo's first record is 12 + 18 bytes, padded to 32; the second starts at 32.
const Damage kDamages[] = {
    {"no bytes at all", [](std::vector<std::uint8_t>& b) { b.clear(); }, 0},
    {"a header cut short", [](std::vector<std::uint8_t>& b) { b.resize(8); }, 0},
    {"a name running past the end", [](std::vector<std::uint8_t>& b) { Put32(b, 8, 0x7FFFFFF0); },
     0},
    {"a name of odd length", [](std::vector<std::uint8_t>& b) { Put32(b, 8, 17); }, 0},
    {"an empty name", [](std::vector<std::uint8_t>& b) { Put32(b, 8, 0); }, 0},
    {"an unknown action", [](std::vector<std::uint8_t>& b) { Put32(b, 4, 9); }, 0},
    {"a next record inside this one", [](std::vector<std::uint8_t>& b) { Put32(b, 0, 16); }, 0},
    {"a next record past the end", [](std::vector<std::uint8_t>& b) { Put32(b, 0, 4096); }, 0},
    {"the second record cut short", [](std::vector<std::uint8_t>& b) { b.resize(40); }, 1},
    {"the second record's offset wrapping around",
     [](std::vector<std::uint8_t>& b) { Put32(b, 0, 0xFFFFFFE0u); }, 0},
};

TEST(FileNotifyRecords, DamagedRecordsKeepWhatCameBeforeAndSayTheRestIsLost) {
    for (const Damage& damage : kDamages) {
        std::vector<std::uint8_t> bytes = Encode(kTwo);
        damage.apply(bytes);
        const file_notify::Parsed parsed = Parse(bytes);
        EXPECT_FALSE(parsed.complete) << damage.what;
        ASSERT_EQ(parsed.changes.size(), damage.kept) << damage.what;
        for (std::size_t i = 0; i < damage.kept; ++i) {
            EXPECT_EQ(parsed.changes[i], kTwo[i]) << damage.what;
        }
    }
}

TEST(FileNotifyRecords, AnyBytesAreReadSafely) {
    std::mt19937 random(15);
    for (int round = 0; round < 20000; ++round) {
        std::vector<std::uint8_t> bytes = Encode(kTwo);
        bytes.resize(random() % 80);
        for (int flips = random() % 4; flips >= 0; --flips) {
            if (!bytes.empty()) {
                bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
            }
        }
        // An exact-size copy, so that AddressSanitizer sees any read past its end.
        const std::vector<std::uint8_t> exact(bytes.begin(), bytes.end());
        const file_notify::Parsed parsed = Parse(exact);
        EXPECT_LE(parsed.changes.size(), exact.size() / file_notify::kHeaderBytes);
    }
}

}  // namespace
