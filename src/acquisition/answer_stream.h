/* SPDX-License-Identifier: Apache-2.0 */
// Where the profile decoder takes its bytes from: every piece straight from
// the socket, exactly as long as asked, never a byte beyond it. It keeps the
// per-piece time-out: data already waiting is taken at once, and a wait,
// bounded by the time-out, starts only when there is none.
#pragma once

#include <cstdint>

#include "core/transport.h"

namespace kelo {

class ExactStream {
public:
    ExactStream(Link link, std::int32_t timeoutMs) : link_(link), timeoutMs_(timeoutMs) {}
    int receive(void* destination, std::uint32_t length) {
        return receiveExact(link_, destination, length, timeoutMs_);
    }
    int discard(std::uint32_t length) { return discardExact(link_, length, timeoutMs_); }
    void note(std::int32_t code, std::int32_t detail) { noteFailure(link_.failure, code, detail); }
    Link link() const { return link_; }
    std::int32_t timeoutMs() const { return timeoutMs_; }

private:
    Link link_;
    std::int32_t timeoutMs_;
};

}  // namespace kelo
