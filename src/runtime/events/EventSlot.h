#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

#include "runtime/events/CVolEventObjectPointer.h"

// A handler: a plain function receiving the receiver object (the handle's owner), the
// source that raised, the slot's extra word and the event's own arguments.
template <typename... Args>
using EventHandler = int (*)(void* receiver, void* source, std::uint32_t extra, Args... args);

// One event of a source: at most one handler with its receiver handle. Any thread may
// raise while another binds or tears the receiver down. The slot's spin lock is held only
// for a few reads and writes, never across a call, a Release or another lock. Binding and
// raising allocate nothing.
template <typename... Args>
class EventSlot {
public:
    using Handler = EventHandler<Args...>;

    struct Call {
        Handler handler = nullptr;
        void* receiver = nullptr;
        std::uint32_t extra = 0;
        CVolEventObjectPointer* handle = nullptr;
    };

    EventSlot() = default;
    EventSlot(const EventSlot&) = delete;
    EventSlot& operator=(const EventSlot&) = delete;
    // The source is going away: no one can bind or raise any more, so no lock.
    ~EventSlot() {
        if (receiver_ != nullptr) {
            receiver_->Release();
        }
    }

    // Binds handler with receiver; a null receiver clears the slot. The reference to a
    // replaced receiver is given back after the slot lock is released.
    void Bind(Handler handler, CVolEventObjectPointer* receiver) {
        Lock();
        CVolEventObjectPointer* old = receiver_;
        extra_ = 0;
        if (receiver == nullptr) {
            handler_ = nullptr;
            receiver_ = nullptr;
        } else if (receiver == old) {
            handler_ = handler;
            Unlock();
            return;
        } else {
            handler_ = handler;
            receiver_ = receiver;
            receiver->AddRef();
        }
        Unlock();
        if (old != nullptr) {
            old->Release();
        }
    }

    bool IsBound() const {
        Lock();
        const bool bound = handler_ != nullptr && receiver_ != nullptr;
        Unlock();
        return bound;
    }

    CVolEventObjectPointer* Receiver() const {
        Lock();
        CVolEventObjectPointer* receiver = receiver_;
        Unlock();
        return receiver;
    }

    // The first half of a raise: true when call.handler may be called; the caller then
    // ends the call with call.handle->EndCall(). False: nothing to call, no reference held.
    bool Acquire(Call& call) {
        Lock();
        Handler handler = handler_;
        CVolEventObjectPointer* handle = receiver_;
        const std::uint32_t extra = extra_;
        if (handler != nullptr && handle != nullptr) {
            handle->AddRef();
        }
        Unlock();
        if (handler == nullptr || handle == nullptr || !handle->BeginCall()) {
            return false;
        }
        call = Call{handler, handle->Owner(), extra, handle};
        return true;
    }

    // Calls the bound handler on this thread and answers its result; 0 when nothing is
    // called (unbound, or the receiver is being or has been torn down).
    int Raise(void* source, Args... args) {
        Call call;
        if (!Acquire(call)) {
            return 0;
        }
        const CallInProgress inProgress{call.handle};
        return call.handler(call.receiver, source, call.extra, std::forward<Args>(args)...);
    }

    // For events whose answer is a permission: granted when nothing is called or the
    // handler answers 0.
    bool RaisePermission(void* source, Args... args) {
        return Raise(source, std::forward<Args>(args)...) == 0;
    }

    // For events whose answer is a flag: false when nothing is called.
    bool RaiseFlag(void* source, Args... args) {
        return Raise(source, std::forward<Args>(args)...) != 0;
    }

private:
    // Ends the call also when the handler throws, so that teardown is never left waiting.
    struct CallInProgress {
        CVolEventObjectPointer* handle;
        ~CallInProgress() { handle->EndCall(); }
    };

    void Lock() const {
        for (;;) {
            if (lock_.fetch_sub(1, std::memory_order_acquire) == 1) {
                return;
            }
            while (lock_.load(std::memory_order_relaxed) <= 0) {
                Pause();
            }
        }
    }
    void Unlock() const { lock_.store(1, std::memory_order_release); }
    static void Pause() {
#if defined(__i386__) || defined(__x86_64__)
        __builtin_ia32_pause();
#endif
    }

    mutable std::atomic<std::int32_t> lock_{1};  // 1 free, 0 or below held
    Handler handler_ = nullptr;
    CVolEventObjectPointer* receiver_ = nullptr;
    std::uint32_t extra_ = 0;
};
