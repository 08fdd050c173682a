// SPDX-License-Identifier: Apache-2.0
// The override commands get no answer; the emulator keeps what they set.
#include "core/command_codes.h"
#include "core/wire.h"
#include "emulator/override_state.h"

namespace kelo::emu {
namespace {

void record(Session& session, const Command& command) {
    std::vector<std::uint32_t> words;
    for (std::size_t i = 0; i * wire::kWordSize < command.payload.size(); ++i) {
        words.push_back(command.word(i));
    }
    auto& state = session.emulator().state<OverrideState>();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.lastWords[command.code] = std::move(words);
    ++state.counts[command.code];
    if (session.emulator().config().verbose) {
        session.emulator().log("override " + std::to_string(command.code) + " recorded");
    }
}

const CommandRegistration autoexposureReg{kCmdOverrideAutoexposure, record};
const CommandRegistration scanWindowReg{kCmdOverrideScanWindow, record};
const CommandRegistration syncSettingsReg{kCmdOverrideSyncSettings, record};
const CommandRegistration alternatingReg{kCmdAlternatingExposure, record};

}  // namespace
}  // namespace kelo::emu
