// SPDX-License-Identifier: Apache-2.0
#include "view_acquisition.h"

#include <chrono>
#include <thread>

#include "image_size.h"
#include "result_text.h"

namespace kelo::cli {
namespace {

// Batch requests kept in flight so the scanner always has the next one.
constexpr std::uint32_t kRequestsInFlight = 2;
constexpr auto kRetryPause = std::chrono::milliseconds(1000);
constexpr auto kStopPoll = std::chrono::milliseconds(50);
constexpr std::uint32_t kDescriptionLength = 255;

}  // namespace

ViewAcquisition::ViewAcquisition(const AcquisitionSettings& settings, LiveFeed& feed,
                                 const std::atomic<bool>& stop)
    : settings_(settings),
      sync_(settings.sync),
      feed_(feed),
      stop_(stop),
      records_(new LargeProfileRecord[settings.batch]),
      image_(new ImageRecord()),
      views_(settings.batch) {}

ViewAcquisition::~ViewAcquisition() {
    if (connection_ != nullptr) lpCloseConnection(connection_);
}

std::string ViewAcquisition::run() {
    while (!stop_) {
        if (connection_ == nullptr && !connect()) {
            pauseBeforeRetry();
        } else if (feed_.takeImageRequest()) {
            takeImage();
        } else {
            readBatch();
        }
    }
    if (connection_ == nullptr) return {};
    const std::string failure = leaveSync(connection_, sync_);
    lpCloseConnection(connection_);
    connection_ = nullptr;
    return failure;
}

bool ViewAcquisition::connect() {
    // While reconnecting, the page keeps saying why.
    if (!reconnecting_) feed_.setState(FeedState::Connecting, "connecting to " + settings_.host);
    connection_ = lpOpenConnection(settings_.host.c_str());
    if (connection_ == nullptr) {
        reconnecting_ = true;
        feed_.setState(FeedState::Lost, "no scanner answers at " + settings_.host +
                                            " (TCP port " + std::to_string(KELO_SCANNER_TCP_PORT) +
                                            "); trying again every second");
        return false;
    }
    std::string failure = publishStatus();
    if (failure.empty()) failure = enterSync(connection_, sync_);
    if (!failure.empty()) {
        drop(failure);
        return false;
    }
    sync_.setEncoder = false;
    reconnecting_ = false;
    feed_.setState(FeedState::Live, "");
    return true;
}

void ViewAcquisition::drop(const std::string& why) {
    lpCloseConnection(connection_);
    connection_ = nullptr;
    inFlight_ = 0;
    reconnecting_ = true;
    feed_.setState(FeedState::Lost,
                   "the scanner stopped answering (" + why + "); reconnecting every second");
}

void ViewAcquisition::readBatch() {
    while (inFlight_ < kRequestsInFlight) {
        const int32_t sent = lpSendMultipleProfileRequest(connection_, settings_.batch);
        if (sent != KELO_OK) return drop("profile request: " + resultText(sent));
        ++inFlight_;
    }
    const int32_t got = lpReadMultipleLargeProfiles(connection_, records_.get(), settings_.batch,
                                                    settings_.timeoutMs);
    --inFlight_;
    if (got < 0) return drop("profile batch: " + resultText(got));
    for (int32_t i = 0; i < got; ++i) views_[i] = ProfileView::of(records_[i]);
    feed_.addProfiles(views_.data(), static_cast<std::size_t>(got));
}

void ViewAcquisition::takeImage() {
    feed_.setState(FeedState::Imaging, "left sync mode to take a camera image");
    CameraImage taken;
    std::string failure = leaveSync(connection_, sync_);
    inFlight_ = 0;  // leaving sync mode drained them
    if (failure.empty()) {
        const int32_t result = lpGetImage(connection_, image_.get());
        if (result != KELO_OK) failure = "image request: " + resultText(result);
    }
    if (!failure.empty()) {
        taken.error = failure;
        feed_.finishImage(std::move(taken));
        return drop(failure);
    }
    taken.error = imageSize(*image_, 0, &taken.width, &taken.height);
    if (taken.error.empty()) {
        taken.pixels.assign(image_->pixels,
                            image_->pixels + std::size_t{taken.width} * taken.height);
    }
    feed_.finishImage(std::move(taken));

    // Idle for a moment anyway: the status values can only be fetched now.
    failure = publishStatus();
    if (failure.empty()) failure = enterSync(connection_, sync_);
    if (!failure.empty()) return drop(failure);
    feed_.setState(FeedState::Live, "");
}

std::string ViewAcquisition::publishStatus() {
    const int32_t fetched = lpGetScannerStatusFromScanner(connection_);
    if (fetched != KELO_OK) return "status request: " + resultText(fetched);
    std::vector<DescribedStatus> status;
    for (const StatusValue& held : heldStatusValues(connection_)) {
        int32_t result = KELO_OK;
        std::string text = statusDescription(connection_, held.key, kDescriptionLength, &result);
        if (result != KELO_OK) return "status description: " + resultText(result);
        status.push_back({held, std::move(text)});
    }
    feed_.setStatus(std::move(status));
    return {};
}

void ViewAcquisition::pauseBeforeRetry() {
    const auto until = std::chrono::steady_clock::now() + kRetryPause;
    while (!stop_ && std::chrono::steady_clock::now() < until) {
        if (feed_.takeImageRequest()) {
            CameraImage none;
            none.error = "there is no connection to the scanner";
            feed_.finishImage(std::move(none));
        }
        std::this_thread::sleep_for(kStopPoll);
    }
}

}  // namespace kelo::cli
