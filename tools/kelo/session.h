/* SPDX-License-Identifier: Apache-2.0 */
// What every kelo subcommand shares: exit codes, error reporting and an
// open scanner connection that closes itself.
#pragma once

#include <cstdint>
#include <string>

#include "failure_text.h"
#include "kelo_dll.h"
#include "scanner_target.h"

namespace kelo::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;        // the scanner or the library reported a failure
inline constexpr int kExitUsage = 2;         // the command line was wrong
inline constexpr int kExitInterrupted = 130; // Ctrl-C, as shells count a SIGINT

// "kelo <command>: <message>" on standard error; gives kExitFailed.
int report(const std::string& command, const std::string& message);
// A library call on `connection` that failed: "kelo <command>: <call>: <why>".
int reportFailure(const std::string& command, const std::string& call,
                  ScannerConnection* connection, std::int32_t result, const CallContext& context = {});
// A usage error with a pointer to --help; gives kExitUsage.
int usageError(const std::string& command, const std::string& message);

// A connection to a target, closed when it goes out of scope.
class Scanner {
public:
    // Opens it; on failure reports why.
    Scanner(const std::string& command, const ScannerTarget& target, std::int32_t connectTimeoutMs);
    ~Scanner();
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    bool open() const { return handle_ != nullptr; }
    ScannerConnection* handle() const { return handle_; }
    // The target as messages name it.
    std::string name() const { return target_.name(); }

private:
    ScannerTarget target_;
    ScannerConnection* handle_ = nullptr;
};

}  // namespace kelo::cli
