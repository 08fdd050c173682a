// The answer to a parameter upload (error messages), alone and after the
// upload that asks for it, and the parameter file fetched from the scanner.
#include <cstdint>

#include "fed_connection.h"
#include "kelo_dll/connection.h"
#include "kelo_dll/parameters.h"

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
        // An empty local file uploads an empty set; the answer is read the same way.
        if (input.option & 1) {
            lpSendParameterFileToScanner(c, "/dev/null");
        } else {
            lpSendParametersToScanner(c, "ExposureTime = 500\n");
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
