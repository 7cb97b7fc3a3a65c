#include "engine/RecordKind.h"

#include <gtest/gtest.h>

#include "ntfs/JournalRecords.h"

namespace {

using namespace ntfs;
constexpr OldNamePlace kNone = OldNamePlace::kNone;
constexpr OldNamePlace kSame = OldNamePlace::kSameDirectory;
constexpr OldNamePlace kOther = OldNamePlace::kOtherDirectory;

struct KindCase {
    const char* name;
    std::uint32_t reasons;
    OldNamePlace oldName;
    RecordKind kind;
    bool linkAdded = false;  // a record before the closing one carried the link change
};

// Closing records gather every reason of their handle: the first kind in the order
// deletion, creation, link, content, new name, attributes wins, whatever else is set.
const KindCase kCases[] = {
    {"create", kReasonFileCreate | kReasonClose, kNone, RecordKind::kCreated},
    {"create_then_write_and_rename",
     kReasonFileCreate | kReasonDataExtend | kReasonRenameNewName | kReasonClose, kSame,
     RecordKind::kCreated},
    // The file no longer exists.
    {"create_and_delete_under_one_handle", kReasonFileCreate | kReasonFileDelete | kReasonClose,
     kNone, RecordKind::kDeleted},
    {"create_write_rename_and_delete",
     kReasonFileCreate | kReasonDataExtend | kReasonRenameNewName | kReasonFileDelete |
         kReasonClose,
     kSame, RecordKind::kDeleted},
    {"delete", kReasonFileDelete | kReasonClose, kNone, RecordKind::kDeleted},
    {"delete_after_a_write", kReasonDataOverwrite | kReasonFileDelete | kReasonClose, kNone,
     RecordKind::kDeleted},
    {"extend", kReasonDataExtend | kReasonClose, kNone, RecordKind::kContentChanged},
    {"named_stream_truncation", kReasonNamedDataTruncation | kReasonClose, kNone,
     RecordKind::kContentChanged},
    {"write_then_rename", kReasonDataOverwrite | kReasonRenameNewName | kReasonClose, kSame,
     RecordKind::kContentChanged},
    {"rename_in_place", kReasonRenameNewName | kReasonClose, kSame, RecordKind::kRenamed},
    {"rename_and_attributes", kReasonRenameNewName | kReasonBasicInfoChange | kReasonClose, kSame,
     RecordKind::kRenamed},
    {"move", kReasonRenameNewName | kReasonClose, kOther, RecordKind::kMovedOrRecycled},
    {"new_name_whose_old_one_came_before", kReasonRenameNewName | kReasonClose, kNone,
     RecordKind::kMovedFromUnknown},
    {"basic_info", kReasonBasicInfoChange | kReasonClose, kNone, RecordKind::kAttributesChanged},
    {"security", kReasonSecurityChange | kReasonClose, kNone, RecordKind::kAttributesChanged},
    {"reparse_point", kReasonReparsePointChange | kReasonClose, kNone,
     RecordKind::kAttributesChanged},
    {"integrity", kReasonIntegrityChange | kReasonClose, kNone, RecordKind::kAttributesChanged},
    // A link added: NTFS wrote the change with the new name before the close.
    {"link_added", kReasonHardLinkChange | kReasonClose, kNone, RecordKind::kLinkAdded, true},
    // A link removed shows first in the closing record, with the name that went.
    {"link_removed", kReasonHardLinkChange | kReasonClose, kNone, RecordKind::kLinkRemoved},
    {"link_removed_after_a_write", kReasonDataOverwrite | kReasonHardLinkChange | kReasonClose,
     kNone, RecordKind::kLinkRemoved},
    {"link_added_and_attributes", kReasonHardLinkChange | kReasonBasicInfoChange | kReasonClose,
     kNone, RecordKind::kLinkAdded, true},
    {"link_added_to_a_new_file", kReasonFileCreate | kReasonHardLinkChange | kReasonClose, kNone,
     RecordKind::kCreated, true},
    {"last_link_removed", kReasonFileDelete | kReasonClose, kNone, RecordKind::kDeleted},
    // Held from an earlier record, but this close carries no link change.
    {"link_held_without_the_bit", kReasonDataExtend | kReasonClose, kNone,
     RecordKind::kContentChanged, true},
    {"stream_change", kReasonStreamChange | kReasonClose, kNone, RecordKind::kOther},
    {"close_alone", kReasonClose, kNone, RecordKind::kOther},
    // Each bit on its own: which group it belongs to, if any.
    {"data_overwrite", kReasonDataOverwrite | kReasonClose, kNone, RecordKind::kContentChanged},
    {"data_extend", kReasonDataExtend | kReasonClose, kNone, RecordKind::kContentChanged},
    {"data_truncation", kReasonDataTruncation | kReasonClose, kNone, RecordKind::kContentChanged},
    {"named_stream_overwrite", kReasonNamedDataOverwrite | kReasonClose, kNone,
     RecordKind::kContentChanged},
    {"named_stream_extend", kReasonNamedDataExtend | kReasonClose, kNone,
     RecordKind::kContentChanged},
    {"extended_attributes", kReasonEaChange | kReasonClose, kNone, RecordKind::kAttributesChanged},
    {"indexable", kReasonIndexableChange | kReasonClose, kNone, RecordKind::kAttributesChanged},
    {"compression", kReasonCompressionChange | kReasonClose, kNone, RecordKind::kOther},
    {"encryption", kReasonEncryptionChange | kReasonClose, kNone, RecordKind::kOther},
    {"object_id", kReasonObjectIdChange | kReasonClose, kNone, RecordKind::kOther},
    {"transacted", kReasonTransactedChange | kReasonClose, kNone, RecordKind::kOther},
    // A held old name does not make a rename of a record without a new name.
    {"old_name_held_without_a_new_one", kReasonObjectIdChange | kReasonClose, kOther,
     RecordKind::kOther},
};

class RecordKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(RecordKinds, TheFirstReasonThatNamesAKindDecidesIt) {
    EXPECT_EQ(KindOfRecord(GetParam().reasons, GetParam().oldName, GetParam().linkAdded),
              GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(Table, RecordKinds, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
