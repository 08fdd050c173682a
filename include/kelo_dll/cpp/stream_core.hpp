// SPDX-License-Identifier: Apache-2.0
/** @file
 * The threads of a stream: one that reads from the scanner and, for
 * callbacks under Overflow::DropOldest, one that calls them, so that the
 * reading goes on while a callback is slow. Under Overflow::Wait the
 * reading thread calls them itself: waiting for the callback is what that
 * rule asks for, and no batch changes threads. */
#ifndef KELO_DLL_CPP_STREAM_CORE_HPP
#define KELO_DLL_CPP_STREAM_CORE_HPP

#include <chrono>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

#include "batch_queue.hpp"

namespace kelo {
namespace detail {

class StreamCore {
public:
    StreamCore(const StreamCore&) = delete;
    StreamCore& operator=(const StreamCore&) = delete;

    /** @return whether the stream still reads (false once stopped or failed;
     *  callbacks may still run until stop() returns) */
    bool running() const { return !queue_.ended(); }
    /** @return the batches read and handed on so far, dropped ones included */
    std::uint64_t batches() const { return queue_.published(); }
    /** @return the batches dropped under Overflow::DropOldest */
    std::uint64_t dropped() const { return queue_.dropped(); }

protected:
    explicit StreamCore(const DeliveryOptions& options) : queue_(valid(options)) {}
    // The class that implements produce() and deliver() calls halt() in its
    // destructor, before what its threads use goes away.
    virtual ~StreamCore() = default;

    /** Reads until the queue stops or a read fails, then leaves sync mode;
     *  may throw what leaving sync mode failed with. */
    virtual void produce() = 0;
    /** Hands one batch or failure to the callbacks. */
    virtual void deliver(const BatchQueue::Item& item) = 0;

    void launch(bool callbacks, Overflow overflow) {
        direct_ = callbacks && overflow == Overflow::Wait;
        producer_ = std::thread([this] { runProducer(); });
        if (!callbacks || direct_) return;
        try {
            dispatcher_ = std::thread([this] { runDispatcher(); });
        } catch (...) {
            halt();
            throw;
        }
    }

    /** Stops, waits for both threads and rethrows what a callback threw or
     *  leaving sync mode failed with. From a callback it only asks: the
     *  stream ends once the callback has returned. */
    void stopAndRethrow() {
        queue_.stop();
        if (onDispatcher()) return;
        join();
        std::exception_ptr failure;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            failure = std::exchange(failure_, nullptr);
        }
        if (failure) std::rethrow_exception(failure);
    }

    void halt() noexcept {
        queue_.stop();
        if (!onDispatcher()) join();
    }

    /** Hands a filled slot on: to the queue, and to the callbacks at once
     *  when the reading thread calls them. */
    void publish(std::size_t slot, std::uint32_t count) {
        queue_.publish(slot, count);
        if (direct_) dispatchReady();
    }
    void report(Error error, bool fatal) {
        queue_.report(std::move(error), fatal);
        if (direct_) dispatchReady();
    }

    void requireQueue(bool callbacks) const {
        if (callbacks) throw std::logic_error("kelo: pop() on a stream that calls back");
    }

    BatchQueue queue_;

private:
    static const DeliveryOptions& valid(const DeliveryOptions& options) {
        if (options.queueCapacity < 1) throw std::invalid_argument("kelo: queueCapacity must be at least 1");
        return options;
    }

    void keep(std::exception_ptr failure) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failure_) failure_ = std::move(failure);
    }

    bool onDispatcher() {
        std::lock_guard<std::mutex> lock(mutex_);
        return dispatcherId_ == std::this_thread::get_id();
    }

    void becomeDispatcher() {
        std::lock_guard<std::mutex> lock(mutex_);
        dispatcherId_ = std::this_thread::get_id();
    }

    void join() noexcept {
        std::lock_guard<std::mutex> lock(joinMutex_);
        if (producer_.joinable()) producer_.join();
        if (dispatcher_.joinable()) dispatcher_.join();
    }

    void runProducer() noexcept {
        if (direct_) becomeDispatcher();
        try {
            produce();
        } catch (...) {
            keep(std::current_exception());
        }
        queue_.finish();
    }

    void runDispatcher() noexcept {
        becomeDispatcher();
        for (;;) {
            const BatchQueue::Item item = queue_.next(BatchQueue::Clock::time_point(), true);
            if (item.kind == BatchQueue::Item::Kind::End || !dispatch(item)) return;
        }
    }

    // What is queued, without waiting (the reading thread's own dispatch).
    void dispatchReady() noexcept {
        for (;;) {
            const BatchQueue::Item item = queue_.poll();
            if (item.kind == BatchQueue::Item::Kind::Nothing || item.kind == BatchQueue::Item::Kind::End ||
                !dispatch(item)) {
                return;
            }
        }
    }

    // Delivers one item; false after a failure that ended the stream.
    bool dispatch(const BatchQueue::Item& item) noexcept {
        if (queue_.stopping() && item.kind == BatchQueue::Item::Kind::Batch) {
            // Stopped: batches still queued are not delivered; failures are.
            queue_.release(item.slot);
        } else {
            try {
                deliver(item);
            } catch (...) {
                keep(std::current_exception());
                queue_.stop();
            }
        }
        return !item.fatal;
    }

    std::mutex mutex_;
    std::mutex joinMutex_;
    std::exception_ptr failure_;
    std::thread::id dispatcherId_;
    bool direct_ = false;
    std::thread producer_;
    std::thread dispatcher_;
};

}  // namespace detail
}  // namespace kelo

#endif
