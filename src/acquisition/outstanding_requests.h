/* SPDX-License-Identifier: Apache-2.0 */
// The connection's count of profile answers owed by the scanner.
#pragma once

#include "core/scanner_connection.h"

namespace kelo {

// Unsigned and wrapping: a read with nothing outstanding leaves it at
// 4294967295, which the count accessor reports as -1.
inline void countRequest(ScannerConnection* connection) { ++connection->outstandingRequests; }
inline void uncountRequest(ScannerConnection* connection) { --connection->outstandingRequests; }

}  // namespace kelo
