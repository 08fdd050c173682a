/* SPDX-License-Identifier: Apache-2.0 */
// What the emulator took from the run-time override commands (58 to 61).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "emulator/emulator.h"

namespace kelo::emu {

struct OverrideState {
    // Payload words of the last override received, by command code.
    std::map<std::uint32_t, std::vector<std::uint32_t>> lastWords;
    std::map<std::uint32_t, std::size_t> counts;
    mutable std::mutex mutex;

    // The words of the last command with this code; empty when none came.
    std::vector<std::uint32_t> last(std::uint32_t code) const {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = lastWords.find(code);
        return it == lastWords.end() ? std::vector<std::uint32_t>{} : it->second;
    }
    std::size_t count(std::uint32_t code) const {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = counts.find(code);
        return it == counts.end() ? 0 : it->second;
    }
};

}  // namespace kelo::emu
