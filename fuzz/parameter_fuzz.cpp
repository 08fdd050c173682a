// The answer to a parameter upload (error messages) and the parameter file
// fetched from the scanner.
#include <cstdint>

#include "fed_connection.h"
#include "kelo_dll/connection.h"
#include "kelo_dll/parameters.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = kelo::fuzz::select(data, size, 2);
    kelo::fuzz::FedConnection fed(input.data, input.size);
    ScannerConnection* c = fed.connection();
    if (c == nullptr) return 0;
    if (input.choice == 0) {
        lpEndSendParametersToScanner(c);
        const int32_t count = lpGetNumberOfErrorMessages(c);
        for (int32_t i = 0; i <= count; ++i) {
            const char* message = lpGetErrorMessage(c, static_cast<uint32_t>(i));
            // Touch every byte, so a message without its terminator shows.
            while (message != nullptr && *message != '\0') ++message;
        }
    } else {
        lpGetParameterFileFromScanner(c, "/dev/null");
    }
    return 0;
}
