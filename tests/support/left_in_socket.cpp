// SPDX-License-Identifier: Apache-2.0
// Reading behind the library's back, from the connection's own socket: a
// part of the fixture only the suite that links the library's objects has.
#include "core/scanner_connection.h"
#include "core/transport.h"
#include "support/emulator_fixture.h"

namespace kelo::test {

emu::Bytes EmulatorTest::leftInSocket(std::size_t count) {
    emu::Bytes rest(count);
    EXPECT_EQ(receiveExact(Link{connection_->socket}, rest.data(), static_cast<std::uint32_t>(count), 2000), 0);
    return rest;
}

}  // namespace kelo::test
