#pragma once

#include <cstdint>

// The form of every event handler: the receiver (the owner of the bound receiver handle),
// the source that raised, the slot's extra word, then the event's own arguments. Events
// that pass texts pass them by reference, valid for the call only.
template <typename... Args>
using EventHandler = int (*)(void* receiver, void* source, std::uint32_t extra, Args... args);
