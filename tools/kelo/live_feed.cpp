// SPDX-License-Identifier: Apache-2.0
#include "live_feed.h"

#include <algorithm>
#include <cstdio>

namespace kelo::cli {
namespace {

using namespace std::chrono_literals;

// Height-map rows sent to a page per frame at most; at higher profile
// rates the rows are spread evenly over the profiles received.
constexpr std::size_t kRowsPerFrame = 8;
constexpr auto kRateWindow = 1s;
// A live scanner that sends no profile for this long is reported as quiet.
constexpr auto kQuietAfter = 2s;

const char* stateName(FeedState state) {
    switch (state) {
        case FeedState::Connecting: return "connecting";
        case FeedState::Live: return "live";
        case FeedState::Lost: return "lost";
        case FeedState::Imaging: return "imaging";
    }
    return "?";
}

void appendString(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendInts(std::string& out, const std::int32_t* values, std::size_t count) {
    out += '[';
    for (std::size_t i = 0; i < count; ++i) {
        if (i) out += ',';
        out += std::to_string(values[i]);
    }
    out += ']';
}

double secondsBetween(LiveFeed::Clock::time_point from, LiveFeed::Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

void LiveFeed::setState(FeedState state, const std::string& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state == FeedState::Live && state_ != FeedState::Live) {
        liveSince_ = Clock::now();
        arrivals_.clear();
    }
    state_ = state;
    message_ = message;
    ++frameVersion_;
    changed_.notify_all();
}

void LiveFeed::addProfiles(const ProfileView* profiles, std::size_t count) {
    if (count == 0) return;
    const auto now = Clock::now();
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < count; ++i) {
        const ProfileView& p = profiles[i];
        Row row;
        row.number = ++received_;
        row.acrossAndHeight.reserve(2 * static_cast<std::size_t>(p.pointCount));
        for (std::int32_t k = 0; k < p.pointCount; ++k) {
            row.acrossAndHeight.push_back(p.points[k][kAcrossValue]);
            row.acrossAndHeight.push_back(p.points[k][kHeightValue]);
        }
        rows_.push_back(std::move(row));
        if (rows_.size() > kKeptRows) rows_.pop_front();
    }
    const ProfileView& last = profiles[count - 1];
    std::copy(last.header, last.header + lastHeader_.size(), lastHeader_.begin());
    lastPoints_.assign(&last.points[0][0], &last.points[0][0] + 3 * last.pointCount);
    lastProfileAt_ = now;
    arrivals_.emplace_back(now, count);
    while (now - arrivals_.front().first > kRateWindow) arrivals_.pop_front();
    ++frameVersion_;
    changed_.notify_all();
}

void LiveFeed::setStatus(std::vector<DescribedStatus> status) {
    std::lock_guard<std::mutex> lock(mutex_);
    status_ = std::move(status);
    ++statusVersion_;
    changed_.notify_all();
}

bool LiveFeed::takeImageRequest() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!imageWanted_) return false;
    imageWanted_ = false;
    imagesServing_ = imagesAsked_;
    return true;
}

void LiveFeed::finishImage(CameraImage image) {
    std::lock_guard<std::mutex> lock(mutex_);
    image_ = std::make_shared<const CameraImage>(std::move(image));
    imagesTaken_ = imagesServing_;
    changed_.notify_all();
}

void LiveFeed::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

std::shared_ptr<const CameraImage> LiveFeed::requestImage(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    const std::uint64_t ticket = ++imagesAsked_;
    imageWanted_ = true;
    changed_.wait_for(lock, wait, [&] { return closed_ || imagesTaken_ >= ticket; });
    if (imagesTaken_ >= ticket) return image_;
    auto failed = std::make_shared<CameraImage>();
    failed->error = closed_ ? "the viewer is stopping" : "no image came in time";
    return failed;
}

bool LiveFeed::nextEvents(FeedCursor& cursor, std::chrono::milliseconds interval,
                          std::chrono::milliseconds wait, std::string* events) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_until(lock, cursor.lastSent + interval, [&] { return closed_; });
    changed_.wait_for(lock, wait, [&] {
        return closed_ || cursor.frameVersion != frameVersion_ ||
               cursor.statusVersion != statusVersion_;
    });
    if (closed_) return false;
    const auto now = Clock::now();
    events->clear();
    if (cursor.statusVersion != statusVersion_) {
        cursor.statusVersion = statusVersion_;
        *events += "event: status\ndata: " + statusJson() + "\n\n";
    }
    // A frame even when nothing arrived, so the rate falls and silence shows.
    cursor.frameVersion = frameVersion_;
    *events += "event: frame\ndata: " + frameJson(cursor, now) + "\n\n";
    cursor.lastSent = now;
    return true;
}

double LiveFeed::rate(Clock::time_point now) const {
    std::size_t profiles = 0;
    for (const auto& [at, count] : arrivals_) {
        if (now - at <= kRateWindow) profiles += count;
    }
    const double span = std::min(secondsBetween(liveSince_, now),
                                 std::chrono::duration<double>(kRateWindow).count());
    return span > 0.05 ? profiles / span : 0.0;
}

std::string LiveFeed::frameJson(FeedCursor& cursor, Clock::time_point now) const {
    std::string state = stateName(state_);
    std::string message = message_;
    if (state_ == FeedState::Live) {
        const auto since = std::max(lastProfileAt_, liveSince_);
        if (now - since > kQuietAfter) {
            state = "quiet";
            char text[160];
            std::snprintf(text, sizeof text,
                          "the scanner answers but has sent no profile for %.0f s",
                          secondsBetween(since, now));
            message = text;
        }
    }
    std::string out = "{\"source\":" + sourceJson() + ",\"state\":\"" + state + "\",\"message\":";
    appendString(out, message);
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, ",\"count\":%llu,\"rate\":%.1f",
                  static_cast<unsigned long long>(received_),
                  state_ == FeedState::Live ? rate(now) : 0.0);
    out += numbers;
    if (received_ > 0) {
        out += ",\"profile\":{\"number\":" + std::to_string(received_ - 1) + ",\"header\":";
        appendInts(out, lastHeader_.data(), lastHeader_.size());
        out += ",\"points\":";
        appendInts(out, lastPoints_.data(), lastPoints_.size());
        out += '}';
    }

    // The rows this page has not had, thinned out evenly to kRowsPerFrame.
    auto first = std::find_if(rows_.begin(), rows_.end(),
                              [&](const Row& row) { return row.number > cursor.lastRow; });
    const auto fresh = static_cast<std::size_t>(rows_.end() - first);
    const std::size_t sent = std::min(fresh, kRowsPerFrame);
    out += ",\"rows\":[";
    for (std::size_t i = 0; i < sent; ++i) {
        const Row& row = *(first + static_cast<std::ptrdiff_t>((i + 1) * fresh / sent - 1));
        if (i) out += ',';
        appendInts(out, row.acrossAndHeight.data(), row.acrossAndHeight.size());
    }
    out += "],\"profilesPerRow\":" + std::to_string(sent ? (fresh + sent - 1) / sent : 1) + "}";
    if (fresh > 0) cursor.lastRow = rows_.back().number;
    return out;
}

std::string LiveFeed::sourceJson() const {
    std::string out = "{\"host\":";
    appendString(out, source_.host);
    out += ",\"mode\":";
    appendString(out, source_.mode);
    out += ",\"unit\":";
    appendString(out, source_.unit);
    return out + "}";
}

std::string LiveFeed::statusJson() const {
    std::string out = "{\"values\":[";
    for (std::size_t i = 0; i < status_.size(); ++i) {
        if (i) out += ',';
        out += "{\"key\":" + std::to_string(status_[i].held.key) +
               ",\"value\":" + std::to_string(status_[i].held.value) + ",\"text\":";
        appendString(out, status_[i].description);
        out += '}';
    }
    return out + "]}";
}

}  // namespace kelo::cli
