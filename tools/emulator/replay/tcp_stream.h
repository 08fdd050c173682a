/* SPDX-License-Identifier: Apache-2.0 */
// One direction of a TCP connection put back in order from captured
// segments: by sequence number, across the 32-bit wrap, whatever order the
// capture holds them in, with retransmitted and overlapping data taken once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "emulator/replay/capture_file.h"

namespace kelo::replay {

class StreamAssembler {
public:
    // A segment of this direction. A SYN fixes where the stream starts;
    // without one (a capture begun mid-connection) the earliest data does.
    void add(std::uint32_t sequence, bool syn, const Bytes& payload, std::size_t frame);

    struct Result {
        Bytes bytes;       // the stream from its start up to the first gap
        bool gap = false;  // data after a hole that the capture missed
        // Frame that first carried each run of bytes, by start offset.
        std::vector<std::pair<std::size_t, std::size_t>> frames;
        // The frame that carried the byte at this offset.
        std::size_t frameAt(std::size_t offset) const;
    };
    Result assemble() const;

private:
    struct Piece {
        std::uint32_t sequence;
        Bytes data;
        std::size_t frame;
    };
    std::vector<Piece> pieces_;
    bool haveSyn_ = false;
    std::uint32_t synSequence_ = 0;
};

}  // namespace kelo::replay
