/* SPDX-License-Identifier: Apache-2.0 */
// Plain-language text for the library's result codes. 21 means different
// things to different calls, so the caller says which meaning applies.
#pragma once

#include <cstdint>
#include <string>

namespace kelo::cli {

enum class Refusal {
    SyncState,          // the operation is not allowed in the present sync state
    ParameterErrors,    // the scanner rejected an uploaded parameter set
    ParameterFile,      // a local parameter file could not be opened (or errors, as above)
    FirmwareRejected,   // the scanner did not confirm a firmware update
    NotHeld,            // the data asked for is not in the connection's store
};

// E.g. "the scanner had no profile (-3)".
std::string resultText(std::int32_t result, Refusal meaningOf21 = Refusal::SyncState);

}  // namespace kelo::cli
