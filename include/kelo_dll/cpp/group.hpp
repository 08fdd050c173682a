// SPDX-License-Identifier: Apache-2.0
/** @file
 * kelo::Group: scanners driven together, and kelo::GroupStream, which
 * collects the same number of profiles from every member, batch after
 * batch, on a thread of its own. */
#ifndef KELO_DLL_CPP_GROUP_HPP
#define KELO_DLL_CPP_GROUP_HPP

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "batch_queue.hpp"
#include "scanner.hpp"
#include "stream_core.hpp"

namespace kelo {

namespace detail {

/** The Error of a group call that named a member. */
inline Error memberError(const char* call, ScannerConnection* member) {
    const std::int32_t failure = lpGetLastFailure(member);
    const std::int32_t result = failure == KELO_FAILURE_TIMEOUT   ? KELO_ERROR_TIMEOUT
                                : failure == KELO_FAILURE_REFUSED ? KELO_ERROR_STATE
                                                                  : KELO_ERROR_IO;
    return errorOf(call, member, result, "a group member failed");
}

inline ScannerConnection* memberOf(KeloGroupResult result) {
    return reinterpret_cast<ScannerConnection*>(result);
}

/** Leaves sync mode on every synchronised member, each even when another
 *  fails; the first failure is thrown afterwards. */
inline void leaveSyncOnEach(const std::vector<ScannerConnection*>& members) {
    const char* failedCall = nullptr;
    ScannerConnection* failedMember = nullptr;
    for (ScannerConnection* member : members) {
        if (lpIsInSyncMode(member) != 1 || lpExitSyncMode(member) == KELO_OK) continue;
        if (failedMember == nullptr) {
            failedCall = "lpExitSyncMode";
            failedMember = member;
        }
    }
    if (failedMember != nullptr) throw memberError(failedCall, failedMember);
}

}  // namespace detail

/** Keeps a group's members synchronised while it lives; made by
 *  Group::enterSync(); move-only. */
class [[nodiscard]] GroupSyncGuard {
public:
    /** A guard that holds nothing. */
    GroupSyncGuard() noexcept = default;
    GroupSyncGuard(const GroupSyncGuard&) = delete;
    GroupSyncGuard& operator=(const GroupSyncGuard&) = delete;
    /** Takes over other's members; other holds nothing afterwards.
     *  @param other the guard taken over */
    GroupSyncGuard(GroupSyncGuard&& other) noexcept : members_(std::move(other.members_)) {
        other.members_.clear();
    }
    /** Leaves sync mode on the members this guard held (failures ignored),
     *  then takes over other's.
     *  @param other the guard taken over; it holds nothing afterwards
     *  @return this guard */
    GroupSyncGuard& operator=(GroupSyncGuard&& other) noexcept {
        if (this != &other) {
            leaveQuietly();
            members_ = std::move(other.members_);
            other.members_.clear();
        }
        return *this;
    }
    /** Leaves sync mode on every member; failures are ignored. */
    ~GroupSyncGuard() { leaveQuietly(); }

    /**
     * Leaves sync mode on every member that is synchronised, draining what
     * each still owes; afterwards the guard holds nothing.
     * @throws Error naming the first member that could not leave
     */
    void leave() {
        const std::vector<ScannerConnection*> members = std::move(members_);
        members_.clear();
        detail::leaveSyncOnEach(members);
    }
    /** Gives up the guard: the members stay synchronised. */
    void release() noexcept { members_.clear(); }
    /** @return whether the guard will leave sync mode */
    bool active() const noexcept { return !members_.empty(); }

private:
    friend class Group;
    explicit GroupSyncGuard(std::vector<ScannerConnection*> members) : members_(std::move(members)) {}

    void leaveQuietly() noexcept {
        try {
            leave();
        } catch (...) {
        }
    }

    std::vector<ScannerConnection*> members_;
};

/**
 * A group of open scanners, driven together (lpMultipleScanner...). The
 * group refers to its members but never opens or closes them: remove a
 * Scanner, or destroy the group, before the Scanner goes. Move-only.
 */
class Group {
public:
    /** @throws std::bad_alloc when the library has no memory for a group */
    Group() : group_(lpMultipleScannerCreate()) {
        if (group_ == nullptr) throw std::bad_alloc();
    }
    Group(const Group&) = delete;
    Group& operator=(const Group&) = delete;
    /** Takes over other's group; other holds nothing afterwards.
     *  @param other the group taken over */
    Group(Group&& other) noexcept
        : group_(std::exchange(other.group_, nullptr)), members_(std::move(other.members_)) {}
    /** Deletes the group held, then takes over other's.
     *  @param other the group taken over; it holds nothing afterwards
     *  @return this group */
    Group& operator=(Group&& other) noexcept {
        if (this != &other) {
            if (group_ != nullptr) lpMultipleScannerDelete(group_);
            group_ = std::exchange(other.group_, nullptr);
            members_ = std::move(other.members_);
        }
        return *this;
    }
    /** Deletes the group and its stored profiles; the members stay open. */
    ~Group() {
        if (group_ != nullptr) lpMultipleScannerDelete(group_);
    }

    /** @return the C handle, for calls not wrapped here */
    MultipleScanner* native() const noexcept { return group_; }

    /** Adds an open scanner, which must outlive its membership.
     *  @param scanner the scanner added
     *  @throws Error with result 21 when it is a member already */
    void add(Scanner& scanner) {
        ScannerConnection* member = scanner.native();
        detail::check("lpMultipleScannerAddConnection", member,
                      lpMultipleScannerAddConnection(group_, member));
        members_.insert(std::upper_bound(members_.begin(), members_.end(), member, byHandle), member);
    }
    /** Removes a member (and its stored profiles); the scanner stays open.
     *  @param scanner the member removed; nothing happens for a non-member */
    void remove(const Scanner& scanner) {
        lpMultipleScannerRemoveConnection(group_, scanner.native());
        members_.erase(std::remove(members_.begin(), members_.end(), scanner.native()), members_.end());
    }
    /** @param scanner the scanner asked about
     *  @return whether it is a member */
    bool contains(const Scanner& scanner) const {
        return lpMultipleScannerContainsConnection(group_, scanner.native()) == 1;
    }
    /** @return the members' handles in the order the group visits them */
    const std::vector<ScannerConnection*>& members() const noexcept { return members_; }

    /**
     * Enters time or encoder sync on every member.
     * @param mode SyncMode::Time or SyncMode::Encoder (groups have no pulse sync)
     * @return the guard that leaves it again on every member
     * @throws Error naming the member that failed (those before it are left again)
     * @throws std::invalid_argument for SyncMode::Pulse
     */
    GroupSyncGuard enterSync(SyncMode mode = SyncMode::Time) {
        if (mode == SyncMode::Pulse) throw std::invalid_argument("kelo: groups have no pulse sync");
        GroupSyncGuard guard(members_);
        const KeloGroupResult result = mode == SyncMode::Time
                                           ? lpMultipleScannerEnterTimeSyncMode(group_)
                                           : lpMultipleScannerEnterEncoderSyncMode(group_);
        if (result != KELO_GROUP_OK) {
            throw detail::memberError(mode == SyncMode::Time ? "lpMultipleScannerEnterTimeSyncMode"
                                                             : "lpMultipleScannerEnterEncoderSyncMode",
                                      detail::memberOf(result));
        }
        return guard;
    }
    /** Leaves sync mode on every synchronised member. @throws Error naming a member */
    void exitSync() { detail::leaveSyncOnEach(members_); }

    /**
     * Collects count profiles from every member into the group, replacing
     * the last collection (profileCount(), profile()).
     * @param count   the profiles collected from each member
     * @param timeout the longest the whole collection may take
     * @throws Error naming the member that failed, or (result -4) the first
     *         that had not delivered its share when timeout passed
     */
    void collect(std::uint32_t count, std::chrono::milliseconds timeout) {
        refuseIdleMember();
        const KeloGroupResult result = lpMultipleScannerGetMultipleProfilesTimeout(
            group_, count, detail::milliseconds(timeout, "the collection time-out"));
        if (result != KELO_GROUP_OK) {
            throw detail::memberError("lpMultipleScannerGetMultipleProfilesTimeout", detail::memberOf(result));
        }
    }
    /** @param member a member
     *  @return the profiles the last collection stored for it */
    std::uint32_t profileCount(const Scanner& member) const {
        return static_cast<std::uint32_t>(lpMultipleScannerGetProfileCount(group_, member.native()));
    }
    /** @param member a member
     *  @param index  the profile's index, below profileCount()
     *  @return a member's stored profile; valid until the next collection
     *  @throws std::out_of_range when there is no such profile */
    const ProfileRecord& profile(const Scanner& member, std::uint32_t index) const {
        const ProfileRecord* record = lpMultipleScannerGetProfile(group_, member.native(), index);
        if (record == nullptr) throw std::out_of_range("kelo::Group::profile: no such profile");
        return *record;
    }

private:
    static bool byHandle(const ScannerConnection* a, const ScannerConnection* b) {
        return reinterpret_cast<std::uintptr_t>(a) < reinterpret_cast<std::uintptr_t>(b);
    }

    // The collection names an idle member without noting why; this says it.
    void refuseIdleMember() const {
        for (ScannerConnection* member : members_) {
            if (lpIsInSyncMode(member) != 1) {
                throw Error("lpMultipleScannerGetMultipleProfilesTimeout", KELO_ERROR_STATE,
                            KELO_FAILURE_REFUSED, 0, 0, member, "a group member is not synchronised");
            }
        }
    }

    MultipleScanner* group_;
    std::vector<ScannerConnection*> members_;
};

/** What a group stream collects, and how it hands batches over. */
struct GroupStreamOptions : DeliveryOptions {
    /** Time or encoder sync, entered on every member and left at the end. */
    SyncMode mode = SyncMode::Time;
    /** Profiles collected from each member for one batch. */
    std::uint32_t batchSize = 100;
    /** One collection's time-out: a member that has not delivered its share
     *  by then is reported (the stream goes on); stop() ends within it. */
    std::chrono::milliseconds timeout{1000};
};

/**
 * One collection of a group stream: batchSize profiles from every member.
 * Like Batch it holds its slot of the stream's memory until destroyed or
 * reset, must not outlive its stream, and is move-only.
 */
class GroupBatch {
public:
    /** An empty batch: what pop() gives when nothing came in time. */
    GroupBatch() noexcept = default;
    GroupBatch(const GroupBatch&) = delete;
    GroupBatch& operator=(const GroupBatch&) = delete;
    /** Takes over other's slot; other is empty afterwards.
     *  @param other the batch taken over */
    GroupBatch(GroupBatch&& other) noexcept
        : queue_(std::exchange(other.queue_, nullptr)), slot_(other.slot_), members_(other.members_),
          records_(other.records_), counts_(other.counts_), perMember_(other.perMember_),
          sequence_(other.sequence_) {}
    /** Gives this batch's slot back, then takes over other's.
     *  @param other the batch taken over; empty afterwards
     *  @return this batch */
    GroupBatch& operator=(GroupBatch&& other) noexcept {
        if (this != &other) {
            reset();
            queue_ = std::exchange(other.queue_, nullptr);
            slot_ = other.slot_;
            members_ = other.members_;
            records_ = other.records_;
            counts_ = other.counts_;
            perMember_ = other.perMember_;
            sequence_ = other.sequence_;
        }
        return *this;
    }
    /** Gives the memory back to the stream. */
    ~GroupBatch() { reset(); }

    /** @return whether this holds a batch */
    explicit operator bool() const noexcept { return queue_ != nullptr; }
    /** @return the batch's number in its stream, from 0; a gap tells of dropped batches */
    std::uint64_t sequence() const noexcept { return sequence_; }
    /** @return the members, in the group's order (only on a batch) */
    const std::vector<ScannerConnection*>& members() const noexcept { return *members_; }
    /** @param i the member's place in members() (not checked)
     *  @return what member i delivered */
    Span<const ProfileRecord> profiles(std::size_t i) const noexcept {
        return Span<const ProfileRecord>(records_ + i * perMember_, counts_[i]);
    }
    /** @param scanner a scanner of the group
     *  @return what it delivered; empty when it is no member */
    Span<const ProfileRecord> profiles(const Scanner& scanner) const noexcept {
        for (std::size_t i = 0; i < members_->size(); ++i) {
            if ((*members_)[i] == scanner.native()) return profiles(i);
        }
        return Span<const ProfileRecord>();
    }
    /** Gives the memory back to the stream now. */
    void reset() noexcept {
        if (queue_ != nullptr) queue_->release(slot_);
        queue_ = nullptr;
    }

private:
    friend class GroupStream;
    GroupBatch(detail::BatchQueue* queue, std::size_t slot, const std::vector<ScannerConnection*>* members,
               const ProfileRecord* records, const std::uint32_t* counts, std::size_t perMember,
               std::uint64_t sequence) noexcept
        : queue_(queue), slot_(slot), members_(members), records_(records), counts_(counts),
          perMember_(perMember), sequence_(sequence) {}

    detail::BatchQueue* queue_ = nullptr;
    std::size_t slot_ = 0;
    const std::vector<ScannerConnection*>* members_ = nullptr;
    const ProfileRecord* records_ = nullptr;
    const std::uint32_t* counts_ = nullptr;
    std::size_t perMember_ = 0;
    std::uint64_t sequence_ = 0;
};

/**
 * kelo::Stream for a group: a thread enters sync mode on every member and
 * collects batchSize profiles from each, collection after collection, with
 * the group's time-out (lpMultipleScannerGetMultipleProfilesTimeout). A
 * collection that times out is reported naming the member that was short
 * (once until a collection completes) and the stream goes on, the
 * profiles of that collection given up; any other failure ends it. Delivery, stop() and the destructor are those of
 * kelo::Stream; the members must not be used otherwise while it runs, nor
 * the group changed. running(), batches() and dropped() are as there.
 */
class GroupStream : public detail::StreamCore {
public:
    /** Called with each batch; the batch is valid during the call only. */
    using OnBatch = std::function<void(const GroupBatch&)>;
    /** Called with each failure, in order among the batches. */
    using OnError = std::function<void(const Error&)>;

    /**
     * A stream whose batches the application takes with pop().
     * @param group   a group with at least one member
     * @param options the sync mode, batch size, time-out and delivery
     * @throws Error naming the member that could not enter sync mode;
     *         std::invalid_argument for bad options or an empty group
     */
    explicit GroupStream(Group& group, const GroupStreamOptions& options = GroupStreamOptions())
        : GroupStream(group, options, OnBatch(), OnError(), false) {}
    /**
     * A stream that calls onBatch with each batch and onError with each
     * failure, as BasicStream's callbacks are called.
     * @param group   a group with at least one member
     * @param options the sync mode, batch size, time-out and delivery
     * @param onBatch called with each batch
     * @param onError called with each failure
     * @throws Error naming the member that could not enter sync mode;
     *         std::invalid_argument for bad options, an empty group or a
     *         missing callback
     */
    GroupStream(Group& group, const GroupStreamOptions& options, OnBatch onBatch, OnError onError)
        : GroupStream(group, options, std::move(onBatch), std::move(onError), true) {}
    /** Stops the stream (see stop()); failures of leaving sync mode are ignored. */
    ~GroupStream() override { halt(); }

    /**
     * The next batch, waiting at most timeout for it; as BasicStream::pop().
     * @param timeout the longest wait; 0 only looks
     * @return an empty GroupBatch when none came in time, or once the stream has ended
     * @throws Error for the next failure in order
     * @throws std::logic_error on a stream with callbacks
     */
    GroupBatch pop(std::chrono::milliseconds timeout) {
        requireQueue(callbacks_);
        detail::BatchQueue::Item item = queue_.next(detail::BatchQueue::Clock::now() + timeout, false);
        if (item.kind == detail::BatchQueue::Item::Kind::Failure) throw *item.error;
        if (item.kind != detail::BatchQueue::Item::Kind::Batch) return GroupBatch();
        return batchOf(item);
    }
    /** Ends the stream and leaves sync mode on every member; as BasicStream::stop().
     *  @throws Error when leaving sync mode failed, or what a callback threw */
    void stop() { stopAndRethrow(); }

private:
    GroupStream(Group& group, const GroupStreamOptions& options, OnBatch onBatch, OnError onError,
                bool callbacks)
        : detail::StreamCore(options),
          group_(group.native()),
          members_(group.members()),
          options_(valid(options, callbacks, onBatch, onError)),
          timeoutMs_(detail::milliseconds(options.timeout, "timeout")),
          perSlot_(members_.size() * options.batchSize),
          records_(queue_.slots() * perSlot_),
          counts_(queue_.slots() * members_.size()),
          onBatch_(std::move(onBatch)),
          onError_(std::move(onError)),
          callbacks_(callbacks) {
        if (members_.empty()) throw std::invalid_argument("kelo: the group has no members");
        guard_ = group.enterSync(options.mode);
        launch(callbacks, options.overflow);
    }

    static const GroupStreamOptions& valid(const GroupStreamOptions& options, bool callbacks,
                                           const OnBatch& onBatch, const OnError& onError) {
        if (options.batchSize < 1) throw std::invalid_argument("kelo: batchSize must be at least 1");
        if (options.timeout.count() < 1) throw std::invalid_argument("kelo: timeout must be at least 1 ms");
        if (callbacks && (!onBatch || !onError)) {
            throw std::invalid_argument("kelo: a stream with callbacks needs both of them");
        }
        return options;
    }

    GroupBatch batchOf(const detail::BatchQueue::Item& item) {
        return GroupBatch(&queue_, item.slot, &members_, &records_[item.slot * perSlot_],
                          &counts_[item.slot * members_.size()], options_.batchSize, item.sequence);
    }

    void deliver(const detail::BatchQueue::Item& item) override {
        if (item.kind == detail::BatchQueue::Item::Kind::Batch) {
            const GroupBatch batch = batchOf(item);
            onBatch_(batch);
        } else if (item.kind == detail::BatchQueue::Item::Kind::Failure) {
            onError_(*item.error);
        }
    }

    void produce() override {
        const char* const call = "lpMultipleScannerGetMultipleProfilesTimeout";
        std::size_t slot = detail::BatchQueue::kNoSlot;
        bool reported = false;
        bool failed = false;
        while (!queue_.stopping()) {
            if (slot == detail::BatchQueue::kNoSlot && !queue_.acquire(slot)) break;
            const KeloGroupResult result =
                lpMultipleScannerGetMultipleProfilesTimeout(group_, options_.batchSize, timeoutMs_);
            if (result == KELO_GROUP_OK) {
                reported = false;
                store(slot);
                publish(slot, options_.batchSize);
                slot = detail::BatchQueue::kNoSlot;
                continue;
            }
            ScannerConnection* member = detail::memberOf(result);
            if (lpGetLastFailure(member) != KELO_FAILURE_TIMEOUT) {
                report(detail::memberError(call, member), true);
                failed = true;
                break;
            }
            if (!reported) report(detail::memberError(call, member), false);
            reported = true;
        }
        if (slot != detail::BatchQueue::kNoSlot) queue_.release(slot);
        if (!failed) {
            // The last collection timed out: what the members still owe
            // is given up, as a stream gives up a silent scanner's.
            if (reported) {
                for (ScannerConnection* member : members_) detail::giveUpOwed(member, timeoutMs_);
            }
            guard_.leave();
            return;
        }
        try {
            guard_.leave();
        } catch (const Error&) {
        }
    }

    // The group keeps its profiles only until the next collection.
    void store(std::size_t slot) {
        ProfileRecord* records = &records_[slot * perSlot_];
        std::uint32_t* counts = &counts_[slot * members_.size()];
        for (std::size_t m = 0; m < members_.size(); ++m) {
            const auto held = static_cast<std::uint32_t>(lpMultipleScannerGetProfileCount(group_, members_[m]));
            counts[m] = held < options_.batchSize ? held : options_.batchSize;
            for (std::uint32_t i = 0; i < counts[m]; ++i) {
                const ProfileRecord* record = lpMultipleScannerGetProfile(group_, members_[m], i);
                if (record == nullptr) {
                    counts[m] = i;
                    break;
                }
                std::memcpy(&records[m * options_.batchSize + i], record, sizeof(ProfileRecord));
            }
        }
    }

    MultipleScanner* group_;
    const std::vector<ScannerConnection*> members_;
    GroupStreamOptions options_;
    std::int32_t timeoutMs_;
    std::size_t perSlot_;
    std::vector<ProfileRecord> records_;
    std::vector<std::uint32_t> counts_;
    OnBatch onBatch_;
    OnError onError_;
    bool callbacks_;
    GroupSyncGuard guard_;
};

}  // namespace kelo

#endif
