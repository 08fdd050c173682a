// SPDX-License-Identifier: Apache-2.0
#include "result_text.h"

#include "kelo_dll.h"

namespace kelo::cli {
namespace {

const char* refusalText(Refusal meaning) {
    switch (meaning) {
        case Refusal::SyncState:
            return "refused in the connection's present sync state (idle or synchronised)";
        case Refusal::ParameterErrors:
            return "the scanner rejected the parameters";
        case Refusal::ParameterFile:
            return "the local parameter file could not be opened, or the scanner rejected it";
        case Refusal::FirmwareRejected:
            return "the scanner did not confirm the firmware update";
        case Refusal::NotHeld:
            return "the data is not held by the connection (nothing retrieved yet)";
    }
    return "refused";
}

const char* plainText(std::int32_t result) {
    switch (result) {
        case KELO_OK:
            return "success";
        case KELO_ERROR_IO:
            return "the command could not be sent or the answer not read (connection lost, "
                   "no answer in time, or an answer of the wrong kind)";
        case KELO_ERROR_ARGUMENT:
            return "invalid argument (missing or out of range)";
        case KELO_ERROR_NO_PROFILE:
            return "the scanner had no profile";
        case KELO_ERROR_TIMEOUT:
            return "no profile arrived within the time-out";
        default:
            return nullptr;
    }
}

}  // namespace

std::string resultText(std::int32_t result, Refusal meaningOf21) {
    const char* text = result == KELO_ERROR_STATE ? refusalText(meaningOf21) : plainText(result);
    if (text == nullptr) return "unexpected result " + std::to_string(result);
    return std::string(text) + " (" + std::to_string(result) + ")";
}

}  // namespace kelo::cli
