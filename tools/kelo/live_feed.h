/* SPDX-License-Identifier: Apache-2.0 */
// What kelo view's acquisitions hand to the web page, one channel per
// scanner, and the page's image requests handed back. Each acquisition
// thread alone talks to its scanner; the HTTP threads only read from here
// and post requests.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kelo_dll.h"
#include "profile_view.h"
#include "status_values.h"

namespace kelo::cli {

enum class FeedState {
    Connecting,  // opening the connection and entering sync mode
    Live,        // batches are being read
    Lost,        // the scanner stopped answering; reconnecting
    Imaging,     // out of sync mode for a camera image
};

struct DescribedStatus {
    StatusValue held;
    std::string description;
};

struct CameraImage {
    std::string error;  // empty when the image was taken
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;
};

// What the page shows about where the data comes from.
struct FeedSource {
    std::string host;
    std::string mode;  // time, encoder or pulse
    std::string unit;  // of the point values, for the axes
};

// One page's place in one scanner's channel, so that it gets every change once.
struct ChannelCursor {
    std::uint64_t frameVersion = 0;
    std::uint64_t statusVersion = 0;
    std::uint64_t lastRow = 0;  // profile number of the last height-map row sent
};

struct FeedCursor {
    std::vector<ChannelCursor> channels;  // sized at the first events
    std::chrono::steady_clock::time_point lastSent{};
};

class LiveFeed {
public:
    using Clock = std::chrono::steady_clock;

    // Profiles of the height map kept for pages that lag behind.
    static constexpr std::size_t kKeptRows = 512;

    explicit LiveFeed(const std::vector<FeedSource>& sources);

    std::size_t scanners() const { return channels_.size(); }

    // The acquisition side, each for its scanner's channel.
    void setState(std::size_t scanner, FeedState state, const std::string& message);
    void addProfiles(std::size_t scanner, const ProfileView* profiles, std::size_t count);
    void setStatus(std::size_t scanner, std::vector<DescribedStatus> status);
    // True once for each image the pages asked for since the last call.
    bool takeImageRequest(std::size_t scanner);
    void finishImage(std::size_t scanner, CameraImage image);
    // Ends every wait; pages are told the viewer stops.
    void close();

    // The page side. Waits until something changed for this cursor (at
    // most `wait`, and no sooner than `interval` after its last events),
    // then gives the SSE text to send: a frame for every scanner, and its
    // status when that changed. False once the feed is closed.
    bool nextEvents(FeedCursor& cursor, std::chrono::milliseconds interval,
                    std::chrono::milliseconds wait, std::string* events);
    // Asks the scanner's acquisition for a camera image and waits for it.
    std::shared_ptr<const CameraImage> requestImage(std::size_t scanner, std::chrono::milliseconds wait);

private:
    struct Row {
        std::uint64_t number = 0;
        std::vector<std::int32_t> acrossAndHeight;  // x0, z0, x1, z1, ...
    };

    struct Channel {
        FeedSource source;
        std::uint64_t frameVersion = 1;
        FeedState state = FeedState::Connecting;
        std::string message;
        std::uint64_t received = 0;
        Clock::time_point lastProfileAt{};
        Clock::time_point liveSince{};
        std::deque<std::pair<Clock::time_point, std::size_t>> arrivals;  // for the rate
        std::array<std::int32_t, KELO_PROFILE_HEADER_VALUES> lastHeader{};
        std::vector<std::int32_t> lastPoints;  // three values per point
        std::deque<Row> rows;

        std::uint64_t statusVersion = 0;
        std::vector<DescribedStatus> status;

        std::uint64_t imagesAsked = 0;
        std::uint64_t imagesServing = 0;  // requests the image being taken answers
        std::uint64_t imagesTaken = 0;
        bool imageWanted = false;
        std::shared_ptr<const CameraImage> image;

        std::string frameJson(std::size_t index, ChannelCursor& cursor, Clock::time_point now) const;
        std::string statusJson(std::size_t index) const;
        double rate(Clock::time_point now) const;
    };

    bool changedFor(const FeedCursor& cursor) const;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool closed_ = false;
    std::vector<Channel> channels_;
};

}  // namespace kelo::cli
