// SPDX-License-Identifier: Apache-2.0
#include "sync_session.h"

#include "failure_text.h"

namespace kelo::cli {

bool parseSyncSettings(CommandLine& args, SyncSettings* s, std::string* error) {
    std::int64_t encoder = 0, p1 = 0, p2 = 0;
    if (!args.number("encoder", 0, 0, 0xFFFFFFFF, &encoder) ||
        !args.number("pulse-period", 10000, KELO_PULSE_SETTING1_MIN, KELO_PULSE_SETTING1_MAX, &p1) ||
        !args.number("pulse-setting", 0, 0, KELO_PULSE_SETTING2_MAX, &p2)) {
        *error = args.error();
        return false;
    }
    s->setEncoder = args.has("encoder");
    s->encoder = static_cast<std::uint32_t>(encoder);
    s->pulseSetting1 = static_cast<std::int32_t>(p1);
    s->pulseSetting2 = static_cast<std::uint32_t>(p2);

    const std::string mode = args.value("mode", "time");
    if (mode == "time") {
        s->kind = SyncKind::Time;
    } else if (mode == "encoder") {
        s->kind = SyncKind::Encoder;
    } else if (mode == "pulse") {
        s->kind = SyncKind::Pulse;
    } else {
        *error = "--mode: expected time, encoder or pulse, got '" + mode + "'";
        return false;
    }
    if (s->setEncoder && s->kind != SyncKind::Encoder) {
        *error = "--encoder only applies to --mode encoder";
        return false;
    }
    if ((args.has("pulse-period") || args.has("pulse-setting")) && s->kind != SyncKind::Pulse) {
        *error = "--pulse-period and --pulse-setting only apply to --mode pulse";
        return false;
    }
    return true;
}

const char* syncKindName(SyncKind kind) {
    switch (kind) {
        case SyncKind::Time: return "time";
        case SyncKind::Encoder: return "encoder";
        case SyncKind::Pulse: return "pulse";
    }
    return "?";
}

std::string enterSync(ScannerConnection* h, const SyncSettings& s) {
    int32_t result = KELO_OK;
    switch (s.kind) {
        case SyncKind::Time:
            result = lpEnterTimeSyncMode(h);
            break;
        case SyncKind::Encoder:
            if (s.setEncoder && (result = lpSetEncoderValue32(h, s.encoder)) != KELO_OK) {
                return "encoder value: " + failureText(h, result);
            }
            result = lpEnterEncoderSyncMode(h);
            break;
        case SyncKind::Pulse:
            result = lpEnterPulseSyncMode(h);
            if (result != KELO_OK) break;
            result = lpStartPulseMaster(h, s.pulseSetting1, s.pulseSetting2);
            if (result != KELO_OK) {
                const std::string why = failureText(h, result);
                lpExitSyncMode(h);
                return "pulse generator start: " + why;
            }
            break;
    }
    if (result != KELO_OK) {
        return std::string("entering ") + syncKindName(s.kind) + " sync: " + failureText(h, result);
    }
    return {};
}

std::string leaveSync(ScannerConnection* h, const SyncSettings& s) {
    std::string failure;
    if (s.kind == SyncKind::Pulse) {
        const int32_t result = lpStopPulses(h);
        if (result != KELO_OK) failure = "pulse generator stop: " + failureText(h, result) + "; ";
    }
    const int32_t result = lpExitSyncMode(h);
    if (result != KELO_OK) return failure + failureText(h, result, {"an answer still owed"});
    if (!failure.empty()) failure.resize(failure.size() - 2);
    return failure;
}

}  // namespace kelo::cli
