/* SPDX-License-Identifier: Apache-2.0 */
// Waiting for a scanner's next answer in short slices, so that Ctrl-C is
// seen while a scanner is silent. The library never reads past the answer
// it decodes, so a readable socket means that the next owed answer has
// begun (or that the connection ended, which the read then reports).
#pragma once

#include <cstdint>

#include "kelo_dll.h"

namespace kelo::cli {

enum class AnswerWait { Arrived, TimedOut, Interrupted };

// Waits at most timeoutMs for the connection's socket to turn readable.
AnswerWait awaitAnswer(ScannerConnection* connection, std::int32_t timeoutMs);

// Whether the socket turns readable (or fails) within `milliseconds`.
bool socketReadable(std::int32_t socket, int milliseconds);

}  // namespace kelo::cli
