/* SPDX-License-Identifier: Apache-2.0 */
// What every kelo subcommand shares: exit codes, error reporting and an
// open scanner connection that closes itself.
#pragma once

#include <cstdint>
#include <string>

#include "kelo_dll.h"
#include "result_text.h"

namespace kelo::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;   // the scanner or the library reported a failure
inline constexpr int kExitUsage = 2;    // the command line was wrong

// "kelo <command>: <message>" on standard error; gives kExitFailed.
int report(const std::string& command, const std::string& message);
// A library call that failed: "kelo <command>: <call>: <result text>".
int reportResult(const std::string& command, const std::string& call, std::int32_t result,
                 Refusal meaningOf21 = Refusal::SyncState);
// A usage error with a pointer to --help; gives kExitUsage.
int usageError(const std::string& command, const std::string& message);

// A connection to HOST on the scanner port, closed when it goes out of scope.
class Scanner {
public:
    Scanner(const std::string& command, const std::string& host);
    ~Scanner();
    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    // False (with the reason printed) when no connection could be made.
    bool open() const { return handle_ != nullptr; }
    ScannerConnection* handle() const { return handle_; }
    const std::string& host() const { return host_; }

private:
    std::string command_;
    std::string host_;
    ScannerConnection* handle_ = nullptr;
};

}  // namespace kelo::cli
