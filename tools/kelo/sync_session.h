/* SPDX-License-Identifier: Apache-2.0 */
// Entering and leaving time, encoder or pulse synchronisation, as the grab
// and view commands do it, with the options that choose the mode.
#pragma once

#include <cstdint>
#include <string>

#include "command_line.h"
#include "kelo_dll.h"

namespace kelo::cli {

enum class SyncKind { Time, Encoder, Pulse };

struct SyncSettings {
    SyncKind kind = SyncKind::Time;
    bool setEncoder = false;
    std::uint32_t encoder = 0;
    std::int32_t pulseSetting1 = 10000;
    std::uint32_t pulseSetting2 = 0;
};

// --mode, --encoder, --pulse-period, --pulse-setting; false with the
// reason in *error when they are wrong or do not fit the mode.
bool parseSyncSettings(CommandLine& args, SyncSettings* settings, std::string* error);
const char* syncKindName(SyncKind kind);

// Enters the mode (setting the encoder first, or starting the pulses
// after). Empty on success; otherwise what failed, with nothing to undo.
std::string enterSync(ScannerConnection* connection, const SyncSettings& settings);
// Stops the pulses and leaves sync mode, which drains the answers still
// owed. Empty on success; otherwise why sync mode may not have been left.
std::string leaveSync(ScannerConnection* connection, const SyncSettings& settings);

}  // namespace kelo::cli
