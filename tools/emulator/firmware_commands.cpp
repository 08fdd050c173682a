// SPDX-License-Identifier: Apache-2.0
// Built-in answer to a firmware upload.
#include <algorithm>

#include "core/command_codes.h"
#include "core/wire.h"
#include "emulator/firmware_state.h"

namespace kelo::emu {
namespace {

constexpr std::uint8_t kTrailer[wire::kWordSize] = {0xDE, 0xAD, 0xBE, 0xEF};

void upload(Session& session, const Command& command) {
    const Bytes& payload = command.payload;
    const bool hasTrailer =
        payload.size() >= wire::kWordSize &&
        std::equal(payload.end() - wire::kWordSize, payload.end(), kTrailer);
    const std::size_t imageSize = hasTrailer ? payload.size() - wire::kWordSize : payload.size();

    auto& state = session.emulator().state<FirmwareState>();
    bool accepted;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        ++state.uploads;
        state.lastImage.assign(payload.begin(), payload.begin() + imageSize);
        state.lastHadTrailer = hasTrailer;
        accepted = imageSize > 0 && (hasTrailer || !state.requireTrailer);
        if (accepted) ++state.accepted;
    }
    const std::uint8_t* answer = accepted ? kFirmwareAcceptedAnswer : kFirmwareRefusedAnswer;
    // The header of this answer is its first word; it goes through
    // sendAnswer so the fault modes apply to it too.
    session.sendAnswer(wire::getWord(answer), Bytes{});
}

const CommandRegistration firmwareReg{kCmdFirmwareUpdate, upload};

}  // namespace
}  // namespace kelo::emu
