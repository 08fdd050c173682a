// SPDX-License-Identifier: Apache-2.0
// The test program links the library's objects directly rather than loading
// the DLL, so nothing has started the socket layer for it: a global test
// environment does what the library's load step does.
#include <gtest/gtest.h>

#include "core/socket_layer.h"

namespace {

class SocketLayerEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(kelo::net::startup()) << "the socket layer did not start"; }
    void TearDown() override { kelo::net::cleanup(); }
};

// Registered before main() runs; gtest owns and deletes the environment.
[[maybe_unused]] ::testing::Environment* const gSocketLayer =
    ::testing::AddGlobalTestEnvironment(new SocketLayerEnvironment);

}  // namespace
