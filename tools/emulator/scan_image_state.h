/* SPDX-License-Identifier: Apache-2.0 */
// The emulator's camera: a laser line on noise, and the scan measured from
// it. Tests read the geometry to check images and scans against each other.
#pragma once

#include <atomic>
#include <cstdint>

#include "emulator/emulator.h"

namespace kelo::emu {

struct CameraState {
    std::atomic<std::uint32_t> width{640};   // pixels per row
    std::atomic<std::uint32_t> height{480};  // rows
    std::atomic<std::uint32_t> frames{0};    // images and scans taken so far
};

// Header words of the emulator's images and scans (the scanner's to define).
enum ImageHeaderWord : std::size_t {
    kImageFrame = 0,
    kImageLaser = 1,
    kImageRows = 2,
    kImageRowLength = 3,
    kImageBitsPerPixel = 4,
};
enum ScanHeaderWord : std::size_t {
    kScanFrame = 0,
    kScanLaser = 1,
    kScanWidth = 2,
    kScanHeight = 3,
    kScanDiagnostic1 = 4,  // the three values of a diagnostic request, else 0
    kScanDiagnostic2 = 5,
    kScanDiagnostic3 = 6,
    kScanReserved = 7,
};

inline constexpr std::uint8_t kLinePixel = 255;
inline constexpr std::uint8_t kLineEdgePixel = 160;
inline constexpr std::uint8_t kNoiseMaximum = 40;

// Row of the laser line in a column: a gentle wave around the middle.
std::uint32_t laserLineRow(std::uint32_t column, std::uint32_t width, std::uint32_t height,
                           std::uint32_t laser);

// Payloads of one image answer (type 1) and one scan answer (type 2); each
// point of the scan is (column, row of the line, line brightness).
Bytes makeImagePayload(const ScannerConfig& config, std::uint32_t width, std::uint32_t height,
                       std::uint32_t laser, std::uint32_t frame);
Bytes makeScanPayload(std::uint32_t width, std::uint32_t height, std::uint32_t laser,
                      std::uint32_t frame, const std::uint32_t diagnostic[3]);

}  // namespace kelo::emu
