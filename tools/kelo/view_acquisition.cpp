// SPDX-License-Identifier: Apache-2.0
#include "view_acquisition.h"

#include <cstdio>

#include "answer_wait.h"
#include "failure_text.h"
#include "image_size.h"
#include "interrupts.h"

namespace kelo::cli {
namespace {

// Batch requests kept in flight so the scanner always has the next one.
constexpr std::uint32_t kRequestsInFlight = 2;
constexpr auto kRetryPause = std::chrono::milliseconds(1000);
constexpr auto kStopPoll = std::chrono::milliseconds(50);
constexpr std::uint32_t kDescriptionLength = 255;

}  // namespace

ViewAcquisition::ViewAcquisition(const AcquisitionSettings& settings, std::size_t channel, LiveFeed& feed)
    : settings_(settings),
      target_(settings.target),
      channel_(channel),
      sync_(settings.sync),
      feed_(feed),
      records_(new LargeProfileRecord[settings.batch]),
      image_(new ImageRecord()),
      views_(settings.batch) {}

ViewAcquisition::~ViewAcquisition() {
    if (!thread_.joinable()) return;
    // A thread still inside the library is left to the process's end.
    std::lock_guard<std::mutex> lock(stageMutex_);
    if (stage_ == Stage::Done) thread_.join();
    else thread_.detach();
}

void ViewAcquisition::start() {
    thread_ = std::thread([this] { run(); });
}

bool ViewAcquisition::finish(Clock::time_point stopBy) {
    std::unique_lock<std::mutex> lock(stageMutex_);
    for (;;) {
        if (stage_ == Stage::Done) break;
        const Clock::time_point until = stage_ == Stage::Leaving ? leavingSince_ + kLeaveWithin : stopBy;
        if (Clock::now() >= until) {
            const bool leaving = stage_ == Stage::Leaving;
            lock.unlock();
            // Not through say(): the acquisition thread may still be in it.
            std::printf("kelo view: %s: %s within %lld ms: the scanner does not answer; giving up on it\n",
                        name().c_str(), leaving ? "could not leave sync mode" : "did not stop",
                        static_cast<long long>((leaving ? kLeaveWithin : kStopWithin).count()));
            return false;
        }
        stageChanged_.wait_until(lock, until);
    }
    lock.unlock();
    thread_.join();
    return true;
}

void ViewAcquisition::run() {
    while (!interrupted()) {
        if (connection_ == nullptr && !connect()) {
            pauseBeforeRetry();
        } else if (feed_.takeImageRequest(channel_)) {
            takeImage();
        } else {
            readBatch();
        }
    }
    leave();
    std::lock_guard<std::mutex> lock(stageMutex_);
    stage_ = Stage::Done;
    stageChanged_.notify_all();
}

void ViewAcquisition::leave() {
    if (connection_ == nullptr) {
        leftCleanly_ = true;
        say(name() + ": stopped; it was not connected" + (lastFailure_.empty() ? "" : " (" + lastFailure_ + ")"));
        return;
    }
    {
        std::lock_guard<std::mutex> lock(stageMutex_);
        stage_ = Stage::Leaving;
        leavingSince_ = Clock::now();
    }
    LeavingSync leaving;
    const std::string failure = leaveSync(connection_, sync_);
    lpCloseConnection(connection_);
    connection_ = nullptr;
    leftCleanly_ = failure.empty();
    say(name() + (failure.empty() ? ": left sync mode and closed the connection"
                                  : ": could not leave sync mode: " + failure + "; closed the connection"));
}

bool ViewAcquisition::connect() {
    // While reconnecting, the page keeps saying why.
    if (!reconnecting_) feed_.setState(channel_, FeedState::Connecting, "connecting to " + name());
    std::string failure;
    connection_ = openTarget(&target_, settings_.connectTimeoutMs, &failure);
    if (connection_ == nullptr) {
        reconnecting_ = true;
        lastFailure_ = failure;
        feed_.setState(channel_, FeedState::Lost, failure + "; trying again every second");
        say(failure + "; trying again every second");
        return false;
    }
    failure = publishStatus();
    if (failure.empty()) failure = enterSync(connection_, sync_);
    if (!failure.empty()) {
        lpCloseConnection(connection_);
        connection_ = nullptr;
        reconnecting_ = true;
        lastFailure_ = "connected, but " + failure;
        feed_.setState(channel_, FeedState::Lost, lastFailure_ + "; trying again every second");
        say(name() + ": " + lastFailure_ + "; trying again every second");
        return false;
    }
    sync_.setEncoder = false;
    reconnecting_ = false;
    lastFailure_.clear();
    feed_.setState(channel_, FeedState::Live, "");
    say(name() + (everLive_ ? ": reconnected, in " : ": connected, in ") + syncKindName(sync_.kind) + " sync" +
        (everLive_ ? " again" : ""));
    everLive_ = true;
    return true;
}

void ViewAcquisition::drop(const std::string& why) {
    lpCloseConnection(connection_);
    connection_ = nullptr;
    inFlight_ = 0;
    reconnecting_ = true;
    lastFailure_ = "connection lost: " + why;
    feed_.setState(channel_, FeedState::Lost, "the scanner stopped answering (" + why + "); reconnecting every second");
    say(name() + ": " + lastFailure_ + "; reconnecting every second");
}

void ViewAcquisition::readBatch() {
    while (inFlight_ < kRequestsInFlight) {
        const int32_t sent = lpSendMultipleProfileRequest(connection_, settings_.batch);
        if (sent != KELO_OK) return drop("profile request: " + failureText(connection_, sent));
        ++inFlight_;
    }
    const AnswerWait wait = awaitAnswer(connection_, settings_.timeoutMs);
    if (wait == AnswerWait::Interrupted) return;
    if (wait == AnswerWait::TimedOut) {
        return drop(noAnswerText(settings_.timeoutMs));
    }
    const int32_t got = lpReadMultipleLargeProfiles(connection_, records_.get(), settings_.batch, settings_.timeoutMs);
    --inFlight_;
    if (got < 0) {
        return drop("profile batch: " + failureText(connection_, got, {"a profile batch", settings_.timeoutMs}));
    }
    for (int32_t i = 0; i < got; ++i) views_[i] = ProfileView::of(records_[i]);
    feed_.addProfiles(channel_, views_.data(), static_cast<std::size_t>(got));
}

void ViewAcquisition::takeImage() {
    feed_.setState(channel_, FeedState::Imaging, "left sync mode to take a camera image");
    CameraImage taken;
    std::string failure = leaveSync(connection_, sync_);
    inFlight_ = 0;  // leaving sync mode drained them
    if (failure.empty()) {
        const int32_t result = lpGetImage(connection_, image_.get());
        if (result != KELO_OK) failure = "image request: " + failureText(connection_, result, {"an image"});
    } else {
        failure = "leaving sync mode for an image: " + failure;
    }
    if (!failure.empty()) {
        taken.error = failure;
        feed_.finishImage(channel_, std::move(taken));
        return drop(failure);
    }
    taken.error = imageSize(*image_, 0, &taken.width, &taken.height);
    if (taken.error.empty()) {
        taken.pixels.assign(image_->pixels, image_->pixels + std::size_t{taken.width} * taken.height);
    }
    feed_.finishImage(channel_, std::move(taken));

    // Idle for a moment anyway: the status values can only be fetched now.
    failure = publishStatus();
    if (failure.empty()) failure = enterSync(connection_, sync_);
    if (!failure.empty()) return drop(failure);
    feed_.setState(channel_, FeedState::Live, "");
}

std::string ViewAcquisition::publishStatus() {
    const int32_t fetched = lpGetScannerStatusFromScanner(connection_);
    if (fetched != KELO_OK) return "status request: " + failureText(connection_, fetched, {"the status list"});
    std::vector<DescribedStatus> status;
    for (const StatusValue& held : heldStatusValues(connection_)) {
        int32_t result = KELO_OK;
        std::string text = statusDescription(connection_, held.key, kDescriptionLength, &result);
        if (result != KELO_OK) return "status description: " + failureText(connection_, result, {"a description"});
        status.push_back({held, std::move(text)});
    }
    feed_.setStatus(channel_, std::move(status));
    return {};
}

void ViewAcquisition::pauseBeforeRetry() {
    const auto until = Clock::now() + kRetryPause;
    while (!interrupted() && Clock::now() < until) {
        if (feed_.takeImageRequest(channel_)) {
            CameraImage none;
            none.error = "there is no connection to the scanner";
            feed_.finishImage(channel_, std::move(none));
        }
        std::this_thread::sleep_for(kStopPoll);
    }
}

void ViewAcquisition::say(const std::string& line) {
    if (line == lastSaid_) return;
    lastSaid_ = line;
    std::printf("kelo view: %s\n", line.c_str());
    std::fflush(stdout);
}

}  // namespace kelo::cli
