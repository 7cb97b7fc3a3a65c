#pragma once

#include <cstdint>

// What a closing record reports, decided from its reason bits alone (and from where the
// old name of a rename was held), before anything is looked up: both the test for a
// listener and the call itself read it, so they cannot disagree.
enum class RecordKind {
    kCreated,
    kDeleted,
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

// The first reason that names a kind wins, in this order: creation, deletion, content,
// a new name, attributes; anything else is another change.
RecordKind KindOfRecord(std::uint32_t reasons, OldNamePlace oldName);
