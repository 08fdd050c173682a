/* SPDX-License-Identifier: Apache-2.0 */
// What kelo view's acquisition hands to the web page, and the page's image
// requests handed back. The acquisition thread alone talks to the scanner;
// the HTTP threads only read from here and post requests.
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

// One page's place in the feed, so that each gets every change once.
struct FeedCursor {
    std::uint64_t frameVersion = 0;
    std::uint64_t statusVersion = 0;
    std::uint64_t lastRow = 0;  // profile number of the last height-map row sent
    std::chrono::steady_clock::time_point lastSent{};
};

class LiveFeed {
public:
    using Clock = std::chrono::steady_clock;

    // Profiles of the height map kept for pages that lag behind.
    static constexpr std::size_t kKeptRows = 512;

    explicit LiveFeed(FeedSource source) : source_(std::move(source)) {}

    // The acquisition side.
    void setState(FeedState state, const std::string& message);
    void addProfiles(const ProfileView* profiles, std::size_t count);
    void setStatus(std::vector<DescribedStatus> status);
    // True once for each image the pages asked for since the last call.
    bool takeImageRequest();
    void finishImage(CameraImage image);
    // Ends every wait; pages are told the viewer stops.
    void close();

    // The page side. Waits until something changed for this cursor (at
    // most `wait`, and no sooner than `interval` after its last events),
    // then gives the SSE text to send: a keep-alive comment when nothing
    // changed. False once the feed is closed.
    bool nextEvents(FeedCursor& cursor, std::chrono::milliseconds interval,
                    std::chrono::milliseconds wait, std::string* events);
    // Asks for a camera image and waits for it.
    std::shared_ptr<const CameraImage> requestImage(std::chrono::milliseconds wait);

private:
    struct Row {
        std::uint64_t number = 0;
        std::vector<std::int32_t> acrossAndHeight;  // x0, z0, x1, z1, ...
    };

    std::string frameJson(FeedCursor& cursor, Clock::time_point now) const;
    std::string sourceJson() const;
    std::string statusJson() const;
    double rate(Clock::time_point now) const;

    const FeedSource source_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool closed_ = false;

    std::uint64_t frameVersion_ = 1;
    FeedState state_ = FeedState::Connecting;
    std::string message_;
    std::uint64_t received_ = 0;
    Clock::time_point lastProfileAt_{};
    Clock::time_point liveSince_{};
    std::deque<std::pair<Clock::time_point, std::size_t>> arrivals_;  // for the rate
    std::array<std::int32_t, KELO_PROFILE_HEADER_VALUES> lastHeader_{};
    std::vector<std::int32_t> lastPoints_;  // three values per point
    std::deque<Row> rows_;

    std::uint64_t statusVersion_ = 0;
    std::vector<DescribedStatus> status_;

    std::uint64_t imagesAsked_ = 0;
    std::uint64_t imagesServing_ = 0;  // requests the image being taken answers
    std::uint64_t imagesTaken_ = 0;
    bool imageWanted_ = false;
    std::shared_ptr<const CameraImage> image_;
};

}  // namespace kelo::cli
