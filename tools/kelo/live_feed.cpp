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

LiveFeed::LiveFeed(const std::vector<FeedSource>& sources) : channels_(sources.size()) {
    for (std::size_t i = 0; i < sources.size(); ++i) channels_[i].source = sources[i];
}

void LiveFeed::setState(std::size_t scanner, FeedState state, const std::string& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    Channel& c = channels_[scanner];
    if (state == FeedState::Live && c.state != FeedState::Live) {
        c.liveSince = Clock::now();
        c.arrivals.clear();
    }
    c.state = state;
    c.message = message;
    ++c.frameVersion;
    changed_.notify_all();
}

void LiveFeed::addProfiles(std::size_t scanner, const ProfileView* profiles, std::size_t count) {
    if (count == 0) return;
    const auto now = Clock::now();
    std::lock_guard<std::mutex> lock(mutex_);
    Channel& c = channels_[scanner];
    for (std::size_t i = 0; i < count; ++i) {
        const ProfileView& p = profiles[i];
        Row row;
        row.number = ++c.received;
        row.acrossAndHeight.reserve(2 * static_cast<std::size_t>(p.pointCount));
        for (std::int32_t k = 0; k < p.pointCount; ++k) {
            row.acrossAndHeight.push_back(p.points[k][kAcrossValue]);
            row.acrossAndHeight.push_back(p.points[k][kHeightValue]);
        }
        c.rows.push_back(std::move(row));
        if (c.rows.size() > kKeptRows) c.rows.pop_front();
    }
    const ProfileView& last = profiles[count - 1];
    std::copy(last.header, last.header + c.lastHeader.size(), c.lastHeader.begin());
    c.lastPoints.assign(&last.points[0][0], &last.points[0][0] + 3 * last.pointCount);
    c.lastProfileAt = now;
    c.arrivals.emplace_back(now, count);
    while (now - c.arrivals.front().first > kRateWindow) c.arrivals.pop_front();
    ++c.frameVersion;
    changed_.notify_all();
}

void LiveFeed::setStatus(std::size_t scanner, std::vector<DescribedStatus> status) {
    std::lock_guard<std::mutex> lock(mutex_);
    channels_[scanner].status = std::move(status);
    ++channels_[scanner].statusVersion;
    changed_.notify_all();
}

bool LiveFeed::takeImageRequest(std::size_t scanner) {
    std::lock_guard<std::mutex> lock(mutex_);
    Channel& c = channels_[scanner];
    if (!c.imageWanted) return false;
    c.imageWanted = false;
    c.imagesServing = c.imagesAsked;
    return true;
}

void LiveFeed::finishImage(std::size_t scanner, CameraImage image) {
    std::lock_guard<std::mutex> lock(mutex_);
    Channel& c = channels_[scanner];
    c.image = std::make_shared<const CameraImage>(std::move(image));
    c.imagesTaken = c.imagesServing;
    changed_.notify_all();
}

void LiveFeed::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

std::shared_ptr<const CameraImage> LiveFeed::requestImage(std::size_t scanner, std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto failed = std::make_shared<CameraImage>();
    if (scanner >= channels_.size()) {
        failed->error = "there is no scanner " + std::to_string(scanner);
        return failed;
    }
    Channel& c = channels_[scanner];
    const std::uint64_t ticket = ++c.imagesAsked;
    c.imageWanted = true;
    changed_.wait_for(lock, wait, [&] { return closed_ || c.imagesTaken >= ticket; });
    if (c.imagesTaken >= ticket) return c.image;
    failed->error = closed_ ? "the viewer is stopping" : "no image came in time";
    return failed;
}

bool LiveFeed::changedFor(const FeedCursor& cursor) const {
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        if (cursor.channels[i].frameVersion != channels_[i].frameVersion ||
            cursor.channels[i].statusVersion != channels_[i].statusVersion) {
            return true;
        }
    }
    return false;
}

bool LiveFeed::nextEvents(FeedCursor& cursor, std::chrono::milliseconds interval,
                          std::chrono::milliseconds wait, std::string* events) {
    std::unique_lock<std::mutex> lock(mutex_);
    cursor.channels.resize(channels_.size());
    changed_.wait_until(lock, cursor.lastSent + interval, [&] { return closed_; });
    changed_.wait_for(lock, wait, [&] { return closed_ || changedFor(cursor); });
    if (closed_) return false;
    const auto now = Clock::now();
    events->clear();
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        const Channel& c = channels_[i];
        ChannelCursor& at = cursor.channels[i];
        if (at.statusVersion != c.statusVersion) {
            at.statusVersion = c.statusVersion;
            *events += "event: status\ndata: " + c.statusJson(i) + "\n\n";
        }
        // A frame even when nothing arrived, so the rate falls and silence shows.
        at.frameVersion = c.frameVersion;
        *events += "event: frame\ndata: " + c.frameJson(i, at, now) + "\n\n";
    }
    cursor.lastSent = now;
    return true;
}

double LiveFeed::Channel::rate(Clock::time_point now) const {
    std::size_t profiles = 0;
    for (const auto& [at, count] : arrivals) {
        if (now - at <= kRateWindow) profiles += count;
    }
    const double span = std::min(secondsBetween(liveSince, now), std::chrono::duration<double>(kRateWindow).count());
    return span > 0.05 ? profiles / span : 0.0;
}

std::string LiveFeed::Channel::frameJson(std::size_t index, ChannelCursor& cursor, Clock::time_point now) const {
    std::string stateText = stateName(state);
    std::string shown = message;
    if (state == FeedState::Live) {
        const auto since = std::max(lastProfileAt, liveSince);
        if (now - since > kQuietAfter) {
            stateText = "quiet";
            char text[160];
            std::snprintf(text, sizeof text, "the scanner answers but has sent no profile for %.0f s",
                          secondsBetween(since, now));
            shown = text;
        }
    }
    std::string out = "{\"scanner\":" + std::to_string(index) + ",\"source\":{\"host\":";
    appendString(out, source.host);
    out += ",\"mode\":";
    appendString(out, source.mode);
    out += ",\"unit\":";
    appendString(out, source.unit);
    out += "},\"state\":\"" + stateText + "\",\"message\":";
    appendString(out, shown);
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, ",\"count\":%llu,\"rate\":%.1f", static_cast<unsigned long long>(received),
                  state == FeedState::Live ? rate(now) : 0.0);
    out += numbers;
    if (received > 0) {
        out += ",\"profile\":{\"number\":" + std::to_string(received - 1) + ",\"header\":";
        appendInts(out, lastHeader.data(), lastHeader.size());
        out += ",\"points\":";
        appendInts(out, lastPoints.data(), lastPoints.size());
        out += '}';
    }

    // The rows this page has not had, thinned out evenly to kRowsPerFrame.
    auto first = std::find_if(rows.begin(), rows.end(), [&](const Row& row) { return row.number > cursor.lastRow; });
    const auto fresh = static_cast<std::size_t>(rows.end() - first);
    const std::size_t sent = std::min(fresh, kRowsPerFrame);
    out += ",\"rows\":[";
    for (std::size_t i = 0; i < sent; ++i) {
        const Row& row = *(first + static_cast<std::ptrdiff_t>((i + 1) * fresh / sent - 1));
        if (i) out += ',';
        appendInts(out, row.acrossAndHeight.data(), row.acrossAndHeight.size());
    }
    out += "],\"profilesPerRow\":" + std::to_string(sent ? (fresh + sent - 1) / sent : 1) + "}";
    if (fresh > 0) cursor.lastRow = rows.back().number;
    return out;
}

std::string LiveFeed::Channel::statusJson(std::size_t index) const {
    std::string out = "{\"scanner\":" + std::to_string(index) + ",\"values\":[";
    for (std::size_t i = 0; i < status.size(); ++i) {
        if (i) out += ',';
        out += "{\"key\":" + std::to_string(status[i].held.key) + ",\"value\":" + std::to_string(status[i].held.value) +
               ",\"text\":";
        appendString(out, status[i].description);
        out += '}';
    }
    return out + "]}";
}

}  // namespace kelo::cli
