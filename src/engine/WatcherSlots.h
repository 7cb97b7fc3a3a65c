#pragma once

#include <array>
#include <functional>
#include <utility>

#include "engine/FileChange.h"

// Receives each change, on the engine's worker thread.
using ChangeSlot = std::function<void(const FileChange& change)>;
// Whether changes of a kind are wanted now. Asked on the worker thread for every record,
// before anything is looked up, so it must be quick and safe to call from there.
using KindFilter = std::function<bool(ChangeKind kind)>;

// The engine's whole outward interface: one slot per kind (OnCreated, OnDeleted, …, as
// kChangeKinds names them), each called on the worker thread with the change's value. A
// kind whose slot is empty, or that the filter does not want at the moment, is skipped
// before its paths are built: nobody pays for what nobody shows. Notices pass every filter.
class WatcherSlots {
public:
    WatcherSlots() = default;
    // Every kind into one sink; the kinds the filter refuses skipped.
    static WatcherSlots Every(const ChangeSlot& sink, KindFilter wanted = {}) {
        WatcherSlots slots;
        for (ChangeSlot& slot : slots.slots_) {
            slot = sink;
        }
        slots.wanted_ = std::move(wanted);
        return slots;
    }

    ChangeSlot& operator[](ChangeKind kind) { return slots_[IndexOf(kind)]; }
    const ChangeSlot& operator[](ChangeKind kind) const { return slots_[IndexOf(kind)]; }
    void SetFilter(KindFilter wanted) { wanted_ = std::move(wanted); }

    // Whether a change of this kind would reach anyone now.
    bool Wants(ChangeKind kind) const {
        return slots_[IndexOf(kind)] && (IsNotice(kind) || !wanted_ || wanted_(kind));
    }
    // Hands the change to its kind's slot, if it has one.
    void Report(const FileChange& change) const {
        if (const ChangeSlot& slot = slots_[IndexOf(change.kind)]) {
            slot(change);
        }
    }

private:
    std::array<ChangeSlot, kChangeKindCount> slots_;
    KindFilter wanted_;
};
