/* SPDX-License-Identifier: Apache-2.0 */
// Which scanners a command talks to, as its command line names them: HOST
// or HOST:PORT words, or --serial N and --cable N, which find the scanner by
// discovery and open it at the address its reply came from. A connect
// waits at most --connect-timeout MS.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "command_line.h"
#include "kelo_dll.h"

namespace kelo::cli {

// The library's own connect time-out, used when none is given.
inline constexpr std::int32_t kDefaultConnectTimeoutMs = 1000;

struct ScannerTarget {
    enum class By { Host, SerialNumber, CableId };
    By by = By::Host;
    std::string host;  // as given, or the address a discovery reply came from
    std::uint16_t port = KELO_SCANNER_TCP_PORT;
    std::uint32_t number = 0;  // the serial number or cable id

    // "HOST", "HOST:PORT", "serial number 5001 (10.0.0.5)".
    std::string name() const;
};

struct Targets {
    std::vector<ScannerTarget> scanners;
    std::int32_t connectTimeoutMs = kDefaultConnectTimeoutMs;
};

// A command's value options with those of every command that takes a
// scanner added; and their help.
std::set<std::string> withTargetOptions(std::set<std::string> valueOptions);
void printTargetHelp();

// HOST or HOST:PORT (port 1 to 65535); false when the port is not one.
bool parseHostWord(const std::string& word, ScannerTarget* target);

// The scanners named by --serial and --cable, and by the host word at
// `at` in words (every word from `at` on when `several`), which are taken
// out of words. False with *error when none is named, when more than one
// is where one is expected, or when an option is wrong.
bool parseTargets(CommandLine& args, std::vector<std::string>* words, std::size_t at, bool several,
                  Targets* targets, std::string* error);

// Opens a connection to the target, after a discovery for --serial and
// --cable (which sets target->host to the reply's address). Null, with
// what went wrong in *failure, when no connection could be made.
ScannerConnection* openTarget(ScannerTarget* target, std::int32_t connectTimeoutMs,
                              std::string* failure);

// An IPv4 address in network byte order as dotted text.
std::string dottedAddress(std::uint32_t address);

}  // namespace kelo::cli
