// SPDX-License-Identifier: Apache-2.0
#include "fault_record.h"

#include <cerrno>

#include <kelo_dll.h>

#include "emulator/emulator.h"

namespace soak {

bool isOwnReport(FaultKind kind, const FailureSeen& seen) {
    if (seen.connect) return kind == FaultKind::Restart && seen.socketError == ECONNREFUSED;
    switch (kind) {
        case FaultKind::Silent: return seen.failure == KELO_FAILURE_TIMEOUT;
        case FaultKind::Short:
        case FaultKind::Drop:
        case FaultKind::Restart: return seen.failure == KELO_FAILURE_CLOSED;
        case FaultKind::WrongType:
            return seen.failure == KELO_FAILURE_WRONG_TYPE &&
                   seen.detail == static_cast<std::int32_t>(kelo::emu::kWrongAnswerType);
        case FaultKind::HugeLength: return seen.failure == KELO_FAILURE_TOO_LONG;
    }
    return false;
}

}  // namespace soak
