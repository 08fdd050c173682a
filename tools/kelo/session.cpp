// SPDX-License-Identifier: Apache-2.0
#include "session.h"

#include <cstdio>

namespace kelo::cli {

int report(const std::string& command, const std::string& message) {
    std::fprintf(stderr, "kelo %s: %s\n", command.c_str(), message.c_str());
    return kExitFailed;
}

int reportResult(const std::string& command, const std::string& call, std::int32_t result,
                 Refusal meaningOf21) {
    return report(command, call + ": " + resultText(result, meaningOf21));
}

int usageError(const std::string& command, const std::string& message) {
    std::fprintf(stderr, "kelo %s: %s (see kelo %s --help)\n", command.c_str(), message.c_str(),
                 command.c_str());
    return kExitUsage;
}

Scanner::Scanner(const std::string& command, const std::string& host)
    : command_(command), host_(host) {
    handle_ = lpOpenConnection(host.c_str());
    if (handle_ == nullptr) {
        const int32_t error = lpGetLastSocketError();
        std::string message = "no scanner answers at " + host + " (TCP port " +
                              std::to_string(KELO_SCANNER_TCP_PORT) +
                              "): the host is unknown, refused the connection or did not "
                              "answer within 1 s";
        if (error != 0) message += "; socket error " + std::to_string(error);
        report(command_, message);
    }
}

Scanner::~Scanner() {
    if (handle_ != nullptr) lpCloseConnection(handle_);
}

}  // namespace kelo::cli
