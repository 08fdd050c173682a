/* SPDX-License-Identifier: Apache-2.0 */
// What the emulator took from firmware uploads (command 8).
#pragma once

#include <cstdint>
#include <mutex>

#include "emulator/emulator.h"

namespace kelo::emu {

// An upload is accepted when it holds a non-empty image; its last four
// bytes count as the trailer when they are DE AD BE EF. With
// requireTrailer set, an upload without the trailer is refused.
struct FirmwareState {
    mutable std::mutex mutex;
    bool requireTrailer = false;
    std::size_t uploads = 0;
    std::size_t accepted = 0;
    Bytes lastImage;        // the image of the last upload, trailer removed
    bool lastHadTrailer = false;
};

inline constexpr std::uint8_t kFirmwareAcceptedAnswer[8] = {0x14, 0, 0, 0, 0, 0, 0, 0};
// A refusal: the word 21 in protocol byte order.
inline constexpr std::uint8_t kFirmwareRefusedAnswer[8] = {0, 0, 0, 0x15, 0, 0, 0, 0};

}  // namespace kelo::emu
