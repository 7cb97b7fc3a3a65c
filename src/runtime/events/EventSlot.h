#pragma once

#include <cstdint>
#include <mutex>
#include <utility>

#include "runtime/events/CVolEventObjectPointer.h"
#include "runtime/events/EventHandler.h"
#include "runtime/events/SpinLockWord.h"

// One event of a source: at most one handler with the receiver handle it is called for.
// Any thread may raise while another binds, rebinds or tears the receiver down. The slot
// holds one reference to its receiver handle. Its spin lock covers only the reads and
// writes of the slot's fields: references are given back and handlers called after it is
// released, so a last Release never runs under it.
template <typename... Args>
class EventSlot {
public:
    using Handler = EventHandler<Args...>;

    // What Acquire hands out: a call counted on handle, to be ended with handle->EndCall().
    struct Call {
        Handler handler;
        void* receiver;
        std::uint32_t extra;
        CVolEventObjectPointer* handle;
    };

    EventSlot() = default;
    EventSlot(const EventSlot&) = delete;
    EventSlot& operator=(const EventSlot&) = delete;

    // The source is being destroyed: nobody binds or raises any more, so no lock is taken.
    ~EventSlot() {
        if (receiver_ != nullptr) {
            receiver_->Release();
        }
    }

    // Receiver none, or handler none, leaves the slot unbound. Binding the handle already in
    // place only replaces the handler.
    void Bind(Handler handler, CVolEventObjectPointer* receiver) {
        if (handler == nullptr || receiver == nullptr) {
            handler = nullptr;
            receiver = nullptr;
        }
        CVolEventObjectPointer* old = nullptr;
        {
            std::lock_guard slot(lock_);
            old = receiver_;
            extra_ = 0;
            handler_ = handler;
            if (receiver == old) {
                old = nullptr;
            } else {
                receiver_ = receiver;
                if (receiver != nullptr) {
                    receiver->AddRef();
                }
            }
        }
        if (old != nullptr) {
            old->Release();
        }
    }

    bool IsBound() const { return Receiver() != nullptr; }

    CVolEventObjectPointer* Receiver() const {
        std::lock_guard slot(lock_);
        return receiver_;
    }

    // The first half of a raise. True: call.handler may be called with call.receiver, after
    // which call.handle->EndCall() must follow. False: nothing may be called and nothing is
    // owed (the slot is unbound or its receiver is gone or going).
    bool Acquire(Call& call) {
        {
            std::lock_guard slot(lock_);
            call.handler = handler_;
            call.extra = extra_;
            call.handle = receiver_;
            // Under the lock: the slot's own reference keeps the handle alive until then.
            if (call.handle != nullptr) {
                call.handle->AddRef();
            }
        }
        if (call.handle == nullptr || !call.handle->BeginCall()) {
            return false;
        }
        call.receiver = call.handle->Owner();
        return true;
    }

    // The handler's result; 0 when nothing is called.
    int Raise(void* source, Args... args) {
        return Dispatch(
            0, [](int result) { return result; }, source, std::forward<Args>(args)...);
    }

    // For queries whose answer is a permission: a handler result of 0 grants it, and with
    // nothing called it is granted.
    bool RaisePermission(void* source, Args... args) {
        return Dispatch(
            true, [](int result) { return result == 0; }, source, std::forward<Args>(args)...);
    }

    // For events whose answer is a flag: whether the handler returned non-zero; false when
    // nothing is called.
    bool RaiseFlag(void* source, Args... args) {
        return Dispatch(
            false, [](int result) { return result != 0; }, source, std::forward<Args>(args)...);
    }

private:
    // Ends the call however the handler leaves, so that a throwing handler cannot keep
    // the receiver's teardown waiting.
    struct CallEnd {
        CVolEventObjectPointer* handle;
        ~CallEnd() { handle->EndCall(); }
    };

    template <typename Result, typename Interpret>
    Result Dispatch(Result nothingCalled, Interpret interpret, void* source, Args&&... args) {
        Call call{};
        if (!Acquire(call)) {
            return nothingCalled;
        }
        CallEnd end{call.handle};
        return interpret(
            call.handler(call.receiver, source, call.extra, std::forward<Args>(args)...));
    }

    mutable SpinLockWord lock_;
    Handler handler_ = nullptr;
    CVolEventObjectPointer* receiver_ = nullptr;
    std::uint32_t extra_ = 0;
};
