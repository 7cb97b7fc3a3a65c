#pragma once

#include <algorithm>
#include <cstddef>
#include <deque>
#include <functional>
#include <iterator>
#include <mutex>
#include <utility>

// Items handed from any number of threads to one taking thread, which takes them in
// batches. A giver never waits for the taker: the first item of a batch calls `wake` on the
// giver's thread (a posted message, say), so a burst costs one wake-up however many items
// it brings, and the taker, once woken, takes what is queued in the order it was given.
// Past `capacity` items the oldest are dropped, so that a taker that falls behind cannot
// make the queue grow without bound. A closed queue keeps nothing until it is opened again.
template <typename T>
class HandOverQueue {
public:
    // `wake` answers false when the taker could not be told; the next item then tries again.
    HandOverQueue(std::size_t capacity, std::function<bool()> wake)
        : capacity_(capacity), wake_(std::move(wake)) {}
    HandOverQueue(const HandOverQueue&) = delete;
    HandOverQueue& operator=(const HandOverQueue&) = delete;

    // Any thread.
    void Give(T item) {
        {
            std::lock_guard lock(mutex_);
            if (closed_) {
                return;
            }
            items_.push_back(std::move(item));
            if (items_.size() > capacity_) {
                items_.pop_front();
            }
            if (told_) {
                return;  // the taker has been told already and will take this one too
            }
            told_ = true;
        }
        // Outside the lock: a wake that sends or waits must not hold up the other givers.
        if (!wake_()) {
            std::lock_guard lock(mutex_);
            told_ = false;
        }
    }

    // The taker's thread: everything given since the last take, oldest first. The next item
    // given wakes the taker again.
    std::deque<T> TakeAll() {
        std::deque<T> taken;
        std::lock_guard lock(mutex_);
        taken.swap(items_);
        told_ = false;
        return taken;
    }

    // The taker's thread, for a taker that comes back by itself (on a timer, say) while
    // items keep coming: the oldest `most` items. While a take finds items, nothing given
    // wakes the taker, which is to come back for them; the first take that finds none lets
    // the next item given wake it again.
    std::deque<T> TakeTurn(std::size_t most) {
        std::deque<T> taken;
        std::lock_guard lock(mutex_);
        if (items_.empty()) {
            told_ = false;
            return taken;
        }
        const auto end =
            items_.begin() + static_cast<std::ptrdiff_t>(std::min(most, items_.size()));
        taken.assign(std::make_move_iterator(items_.begin()), std::make_move_iterator(end));
        items_.erase(items_.begin(), end);
        return taken;
    }

    // Drops what is queued and everything given until Open.
    void Close() {
        std::deque<T> dropped;
        std::lock_guard lock(mutex_);
        closed_ = true;
        dropped.swap(items_);
        told_ = false;
    }

    void Open() {
        std::lock_guard lock(mutex_);
        closed_ = false;
    }

private:
    std::mutex mutex_;
    std::deque<T> items_;
    // A wake-up is on its way for what is queued.
    bool told_ = false;
    bool closed_ = false;
    const std::size_t capacity_;
    const std::function<bool()> wake_;
};
