// SPDX-License-Identifier: Apache-2.0
// The answer to a parameter upload (error messages), alone and after the
// upload that asks for it, and the parameter file fetched from the scanner.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fed_connection.h"
#include "kelo_dll/connection.h"
#include "kelo_dll/parameters.h"

namespace {

const char kParameterText[] = "ExposureTime = 500\n";

// A parameter file made once per run and removed at exit.
char gParameterFile[] = "/tmp/kelo-fuzz-parameters-XXXXXX";

void removeParameterFile() { std::remove(gParameterFile); }

const char* parameterFile() {
    static const bool made = [] {
        const int fd = mkstemp(gParameterFile);
        if (fd < 0 || write(fd, kParameterText, sizeof kParameterText - 1) < 0) std::abort();
        close(fd);
        std::atexit(removeParameterFile);
        return true;
    }();
    (void)made;
    return gParameterFile;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = kelo::fuzz::select(data, size, 3);
    kelo::fuzz::FedConnection fed(input);
    ScannerConnection* c = fed.connection();
    if (c == nullptr) return 0;
    if (input.choice == 1) {
        lpGetParameterFileFromScanner(c, "/dev/null");
        return 0;
    }
    if (input.choice == 0) {
        lpEndSendParametersToScanner(c);
    } else {
        // A set uploaded from a local file; the answer is read the same way.
        if (input.option & 1) {
            lpSendParameterFileToScanner(c, parameterFile());
        } else {
            lpSendParametersToScanner(c, kParameterText);
        }
    }
    const int32_t count = lpGetNumberOfErrorMessages(c);
    for (int32_t i = 0; i <= count; ++i) {
        const char* message = lpGetErrorMessage(c, static_cast<uint32_t>(i));
        // Touch every byte, so a message without its terminator shows.
        while (message != nullptr && *message != '\0') ++message;
    }
    return 0;
}
