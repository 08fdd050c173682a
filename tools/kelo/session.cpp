// SPDX-License-Identifier: Apache-2.0
#include "session.h"

#include <cstdio>

namespace kelo::cli {

int report(const std::string& command, const std::string& message) {
    std::fprintf(stderr, "kelo %s: %s\n", command.c_str(), message.c_str());
    return kExitFailed;
}

int reportFailure(const std::string& command, const std::string& call, ScannerConnection* connection,
                  std::int32_t result, const CallContext& context) {
    return report(command, call + ": " + failureText(connection, result, context));
}

int usageError(const std::string& command, const std::string& message) {
    std::fprintf(stderr, "kelo %s: %s (see kelo %s --help)\n", command.c_str(), message.c_str(),
                 command.c_str());
    return kExitUsage;
}

Scanner::Scanner(const std::string& command, const ScannerTarget& target, std::int32_t connectTimeoutMs)
    : target_(target) {
    std::string failure;
    handle_ = openTarget(&target_, connectTimeoutMs, &failure);
    if (handle_ == nullptr) report(command, failure);
}

Scanner::~Scanner() {
    if (handle_ != nullptr) lpCloseConnection(handle_);
}

}  // namespace kelo::cli
