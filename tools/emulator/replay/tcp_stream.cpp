// SPDX-License-Identifier: Apache-2.0
#include "emulator/replay/tcp_stream.h"

#include <algorithm>

namespace kelo::replay {

void StreamAssembler::add(std::uint32_t sequence, bool syn, const Bytes& payload,
                          std::size_t frame) {
    if (syn) {
        haveSyn_ = true;
        synSequence_ = sequence;
        ++sequence;  // the SYN takes one sequence number; data follows it
    }
    if (!payload.empty()) pieces_.push_back(Piece{sequence, payload, frame});
}

StreamAssembler::Result StreamAssembler::assemble() const {
    Result result;
    if (pieces_.empty()) return result;
    // Sequence numbers compare by their signed distance, which survives the wrap.
    std::uint32_t start = haveSyn_ ? synSequence_ + 1 : pieces_.front().sequence;
    if (!haveSyn_) {
        for (const Piece& piece : pieces_) {
            if (static_cast<std::int32_t>(piece.sequence - start) < 0) start = piece.sequence;
        }
    }
    struct Placed {
        std::int64_t offset;
        const Piece* piece;
    };
    std::vector<Placed> placed;
    for (const Piece& piece : pieces_) {
        placed.push_back({static_cast<std::int32_t>(piece.sequence - start), &piece});
    }
    std::stable_sort(placed.begin(), placed.end(),
                     [](const Placed& a, const Placed& b) { return a.offset < b.offset; });
    for (const Placed& p : placed) {
        const std::int64_t end = p.offset + static_cast<std::int64_t>(p.piece->data.size());
        const auto have = static_cast<std::int64_t>(result.bytes.size());
        if (p.offset > have) {
            result.gap = true;
            break;
        }
        if (end <= have) continue;  // retransmitted bytes already taken
        result.frames.emplace_back(result.bytes.size(), p.piece->frame);
        result.bytes.insert(result.bytes.end(), p.piece->data.end() - (end - have),
                            p.piece->data.end());
    }
    return result;
}

std::size_t StreamAssembler::Result::frameAt(std::size_t offset) const {
    auto it =
        std::upper_bound(frames.begin(), frames.end(), offset,
                         [](std::size_t value, const std::pair<std::size_t, std::size_t>& run) {
                             return value < run.first;
                         });
    return it == frames.begin() ? 0 : std::prev(it)->second;
}

}  // namespace kelo::replay
