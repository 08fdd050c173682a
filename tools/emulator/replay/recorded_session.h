/* SPDX-License-Identifier: Apache-2.0 */
// A scanner session taken from a capture: each command the client sent,
// with the answer bytes the scanner sent for it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "emulator/replay/capture_file.h"
#include "emulator/replay/tcp_stream.h"

namespace kelo::replay {

struct Exchange {
    Bytes command;  // header and payload as the client sent them
    Bytes answers;  // every answer owed to it, back to back, headers included
};

struct Recording {
    std::string peers;  // "client:port -> scanner:24334"
    std::vector<Exchange> exchanges;
    std::vector<std::string> notes;  // what the capture lacks, or holds beyond the commands
};

// Cuts the client's stream into commands and the scanner's into answers and
// gives each command the answers it is owed, in order. Answers to a command
// the library never sends are those captured before the next command.
Recording pairExchanges(const StreamAssembler::Result& commands,
                        const StreamAssembler::Result& answers);

// Session `number` (from 1, in order of appearance) of the TCP sessions on
// the scanner port that carry data. False with a reason (and the sessions
// there are) when the file cannot be read or has no such session.
bool loadRecording(const std::string& path, std::size_t number, Recording* recording,
                   std::string* error);

}  // namespace kelo::replay
