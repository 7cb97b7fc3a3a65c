#pragma once

#include <cstdint>

// What a closing record reports, decided from its reason bits alone (and from what the
// file's earlier records held: the place of an old name, a link added), before anything
// is looked up: both the test for a listener and the call itself read it, so they cannot
// disagree.
enum class RecordKind {
    kCreated,
    kDeleted,
    kLinkAdded,    // a further name of a file: a new name, reported as created
    kLinkRemoved,  // one name of several gone, the file stays: reported as deleted
    kContentChanged,
    kRenamed,           // a new name in the directory of the old one
    kMovedOrRecycled,   // a new name in another directory: recycled when that is the bin
    kMovedFromUnknown,  // a new name whose old half came before the watch began
    kAttributesChanged,
    kOther,
};

// Where the old name of the closing file was held, if it was.
enum class OldNamePlace {
    kNone,
    kSameDirectory,
    kOtherDirectory,
};

// The first reason that names a kind wins, in this order: deletion (a file created and
// deleted under one handle no longer exists), creation, a link added or removed, content,
// a new name, attributes; anything else is another change. NTFS writes a record as soon
// as a link is added, with the link's name, before the closing one: `linkAdded` says
// whether such a record came. A link removed shows first in the closing record.
RecordKind KindOfRecord(std::uint32_t reasons, OldNamePlace oldName, bool linkAdded = false);
