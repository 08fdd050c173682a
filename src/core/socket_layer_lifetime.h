/* SPDX-License-Identifier: Apache-2.0 */
// The socket layer across the library's load and unload. The unload notice
// also follows a refused load, and the host may run the layer for itself:
// an unload stops the layer only when its own load started it, and once.
#pragma once

namespace kelo::platform {

class SocketLayerLifetime {
public:
    using Start = bool (*)();
    using Stop = void (*)();

    constexpr SocketLayerLifetime(Start start, Stop stop) : start_(start), stop_(stop) {}

    // False refuses the load.
    bool load() {
        started_ = start_();
        return started_;
    }

    void unload() {
        if (!started_) return;
        started_ = false;
        stop_();
    }

private:
    Start start_;
    Stop stop_;
    bool started_ = false;
};

}  // namespace kelo::platform
