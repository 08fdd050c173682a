// SPDX-License-Identifier: Apache-2.0
// Built-in answers to the scan, image and image-scan commands.
#include <cmath>

#include "core/command_codes.h"
#include "emulator/scan_image_state.h"

namespace kelo::emu {
namespace {

constexpr std::uint32_t kScanPointLimit = 8192;
constexpr double kPi = 3.14159265358979323846;

struct Request {
    std::uint32_t laser = 0;
    std::uint32_t diagnostic[3] = {0, 0, 0};
};

Request laserRequest(const Command& command) {
    Request request;
    request.laser = command.word(0);
    return request;
}

Request diagnosticRequest(const Command& command) {
    Request request;
    for (std::size_t i = 0; i < 3; ++i) request.diagnostic[i] = command.word(i);
    return request;
}

void answer(Session& session, const Request& request, bool image, bool scan) {
    auto& camera = session.emulator().state<CameraState>();
    const std::uint32_t width = camera.width;
    const std::uint32_t height = camera.height;
    const std::uint32_t frame = camera.frames++;
    if (image &&
        !session.sendAnswer(kAnswerImage, makeImagePayload(session.emulator().config(), width,
                                                           height, request.laser, frame))) {
        return;
    }
    if (scan) {
        session.sendAnswer(kAnswerScan,
                           makeScanPayload(width, height, request.laser, frame, request.diagnostic));
    }
}

const CommandRegistration scanReg{kCmdScan, [](Session& s, const Command&) {
                                      answer(s, Request{}, false, true);
                                  }};
const CommandRegistration scanNReg{kCmdScanN, [](Session& s, const Command& c) {
                                       answer(s, laserRequest(c), false, true);
                                   }};
const CommandRegistration diagnosticScanReg{kCmdDiagnosticScan, [](Session& s, const Command& c) {
                                                answer(s, diagnosticRequest(c), false, true);
                                            }};
const CommandRegistration imageReg{kCmdImage, [](Session& s, const Command&) {
                                       answer(s, Request{}, true, false);
                                   }};
const CommandRegistration imageNReg{kCmdImageN, [](Session& s, const Command& c) {
                                        answer(s, laserRequest(c), true, false);
                                    }};
const CommandRegistration imageScanReg{kCmdImageScan, [](Session& s, const Command&) {
                                           answer(s, Request{}, true, true);
                                       }};
const CommandRegistration imageScanNReg{kCmdImageScanN, [](Session& s, const Command& c) {
                                            answer(s, laserRequest(c), true, true);
                                        }};
const CommandRegistration diagnosticImageScanReg{
    kCmdDiagnosticImageScan,
    [](Session& s, const Command& c) { answer(s, diagnosticRequest(c), true, true); }};

}  // namespace

std::uint32_t laserLineRow(std::uint32_t column, std::uint32_t width, std::uint32_t height,
                           std::uint32_t laser) {
    if (height == 0) return 0;
    const double phase = 2.0 * kPi * column / (width ? width : 1) + laser;
    const double row = height / 2.0 + (height / 4.0) * std::sin(phase);
    const auto whole = static_cast<std::uint32_t>(row);
    return whole < height ? whole : height - 1;
}

Bytes makeImagePayload(const ScannerConfig& config, std::uint32_t width, std::uint32_t height,
                       std::uint32_t laser, std::uint32_t frame) {
    Bytes payload;
    payload.reserve(20 + std::size_t(width) * height);
    appendWord(payload, frame);
    appendWord(payload, laser);
    appendWord(payload, height);
    appendWord(payload, width);
    appendWord(payload, 8);
    // Noise from a small linear congruential generator, repeatable per frame.
    std::uint32_t noise = config.noiseSeed * 2654435761u + frame;
    const std::size_t start = payload.size();
    payload.resize(start + std::size_t(width) * height);
    for (std::size_t i = start; i < payload.size(); ++i) {
        noise = noise * 1664525u + 1013904223u;
        payload[i] = static_cast<std::uint8_t>((noise >> 24) % (kNoiseMaximum + 1));
    }
    for (std::uint32_t column = 0; column < width; ++column) {
        const std::uint32_t row = laserLineRow(column, width, height, laser);
        std::uint8_t* pixel = &payload[start + std::size_t(row) * width + column];
        *pixel = kLinePixel;
        if (row > 0) pixel[-static_cast<std::ptrdiff_t>(width)] = kLineEdgePixel;
        if (row + 1 < height) pixel[width] = kLineEdgePixel;
    }
    return payload;
}

Bytes makeScanPayload(std::uint32_t width, std::uint32_t height, std::uint32_t laser,
                      std::uint32_t frame, const std::uint32_t diagnostic[3]) {
    const std::uint32_t points = width < kScanPointLimit ? width : kScanPointLimit;
    Bytes payload;
    payload.reserve(36 + std::size_t(points) * 12);
    appendWord(payload, frame);
    appendWord(payload, laser);
    appendWord(payload, width);
    appendWord(payload, height);
    for (std::size_t i = 0; i < 3; ++i) appendWord(payload, diagnostic[i]);
    appendWord(payload, 0);
    appendWord(payload, points);
    for (std::uint32_t column = 0; column < points; ++column) {
        appendWord(payload, column);
        appendWord(payload, laserLineRow(column, width, height, laser));
        appendWord(payload, kLinePixel);
    }
    return payload;
}

}  // namespace kelo::emu
