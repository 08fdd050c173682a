// SPDX-License-Identifier: Apache-2.0
// The scanner's profile and acquisition commands: single profiles (10, 43),
// batches (38, 48), sync modes (28, 29, 33, 35, 52), encoder (49), pulses (57).
#include "core/command_codes.h"
#include "emulator/acquisition_state.h"
#include "emulator/emulator.h"
#include "emulator/profile_generator.h"

namespace kelo::emu {
namespace {

AcquisitionState& acquisition(Session& session) {
    return session.emulator().state<AcquisitionState>();
}

void answerSingle(Session& session, std::uint32_t laser) {
    Bytes payload;
    const ScannerConfig& config = session.emulator().config();
    if (laser < static_cast<std::uint32_t>(config.laserCount) &&
        acquisition(session).takeSingle(laser, config, payload)) {
        session.sendAnswer(kAnswerProfile, payload);
    } else {
        session.sendAnswer(kAnswerNoProfile, {});
    }
}

void answerBatch(Session& session, const Command& command) {
    Bytes payload;
    appendWord(payload, 0);  // count, filled in below
    const std::uint32_t count =
        acquisition(session).takeBatch(command.word(0), session.emulator().config(), payload);
    Bytes countWord;
    appendWord(countWord, count);
    std::copy(countWord.begin(), countWord.end(), payload.begin());
    session.sendAnswer(kAnswerProfileBatch, payload);
}

// One profile from each laser, measured now.
void answerAllLasers(Session& session, const Command&) {
    const ScannerConfig& config = session.emulator().config();
    Bytes payload;
    std::uint32_t count = 0;
    Bytes inner;
    for (int laser = 0; laser < config.laserCount; ++laser) {
        Bytes profile;
        if (!acquisition(session).takeSingle(static_cast<std::uint32_t>(laser), config, profile)) continue;
        appendWord(inner, kAnswerProfile);
        appendWord(inner, static_cast<std::uint32_t>(profile.size()));
        inner.insert(inner.end(), profile.begin(), profile.end());
        ++count;
    }
    appendWord(payload, count);
    payload.insert(payload.end(), inner.begin(), inner.end());
    session.sendAnswer(kAnswerProfileBatch, payload);
}

void enter(Session& session, SyncMode mode) {
    acquisition(session).enter(mode, session.emulator().config());
}

const CommandRegistration profileRequest{
    kCmdProfileRequest, [](Session& s, const Command&) { answerSingle(s, 0); }};
const CommandRegistration profileRequestN{
    kCmdProfileRequestN, [](Session& s, const Command& c) { answerSingle(s, c.word(0)); }};
const CommandRegistration multipleProfiles{kCmdMultipleProfileRequest, answerBatch};
const CommandRegistration allLasers{kCmdProfileFromAllLasers, answerAllLasers};
const CommandRegistration timeSync{
    kCmdEnterTimeSync, [](Session& s, const Command&) { enter(s, SyncMode::Time); }};
const CommandRegistration encoderSync{
    kCmdEnterEncoderSync, [](Session& s, const Command&) { enter(s, SyncMode::Encoder); }};
const CommandRegistration pulseSync{
    kCmdEnterPulseSync, [](Session& s, const Command&) { enter(s, SyncMode::Pulse); }};
const CommandRegistration haltSync{
    kCmdHaltSync, [](Session& s, const Command&) { acquisition(s).halt(); }};
const CommandRegistration exitSync{
    kCmdExitSync, [](Session& s, const Command&) { acquisition(s).exit(); }};
const CommandRegistration encoderValue{
    kCmdEncoderValue, [](Session& s, const Command& c) { acquisition(s).setEncoderValue(c.word(0)); }};
const CommandRegistration pulses{kCmdPulseGenerator, [](Session& s, const Command& c) {
                                     acquisition(s).setPulses(c.word(0), c.word(1));
                                 }};

}  // namespace
}  // namespace kelo::emu
