/* SPDX-License-Identifier: Apache-2.0 */
// Decoding one profile answer (type 0, no-profile 34, batch 39) received
// straight into an application record, for either record size.
#pragma once

#include <cstdint>

#include "acquisition/answer_stream.h"
#include "core/transport.h"
#include "kelo_dll/profiles.h"

namespace kelo {

inline constexpr int kDecodeOk = 0;
inline constexpr int kDecodeFailed = -1;
inline constexpr int kDecodeNoProfile = -3;
// Inside the decoders only: an answer too long for its record was read to
// its end and dropped, so the stream is still at an answer boundary and the
// rest of a batch can be read. Callers see -1.
inline constexpr int kDecodeDropped = -100;

// One profile answer into record: 0 stored; -1 socket error, peer closed,
// wrong type or a payload longer than the record; -3 no profile (type 34
// or an empty batch); -4 time-out. A batch gives its first profile; every
// profile of it is read, also after one that did not fit.
template <typename Record>
int decodeProfile(Link link, Record* record, std::int32_t timeoutMs);

// One answer, header and all, into record; further profiles of a batch
// into scratch. The result may be kDecodeDropped.
template <typename Record>
int decodeAnswer(ExactStream& in, Record* record, Record* scratch);

}  // namespace kelo
