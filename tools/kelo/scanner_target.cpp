// SPDX-License-Identifier: Apache-2.0
#include "scanner_target.h"

#include <algorithm>
#include <cstdio>

#include "failure_text.h"

namespace kelo::cli {
namespace {

// Replies looked at when one scanner is wanted: more than one is an error.
constexpr std::uint32_t kMostReplies = 16;

bool parseNumbers(CommandLine& args, const std::string& name, ScannerTarget::By by,
                  Targets* targets, std::string* error) {
    for (const std::string& text : args.values(name)) {
        std::int64_t number = 0;
        if (!parseInteger(text, 0, 0xFFFFFFFF, &number)) {
            *error = "--" + name + ": expected a number from 0 to 4294967295, got '" + text + "'";
            return false;
        }
        ScannerTarget target;
        target.by = by;
        target.number = static_cast<std::uint32_t>(number);
        targets->scanners.push_back(target);
    }
    return true;
}

// Finds the target by discovery and keeps the address its reply came from.
bool discover(ScannerTarget* target, std::string* failure) {
    ScannerInfo records[kMostReplies];
    std::uint32_t addresses[kMostReplies];
    const bool bySerial = target->by == ScannerTarget::By::SerialNumber;
    const std::int32_t found =
        bySerial ? lpFindScannerBySerialNumberWithAddresses(target->number, records, addresses, kMostReplies)
                 : lpFindScannerByCableIdWithAddresses(target->number, records, addresses, kMostReplies);
    const std::string what = (bySerial ? "serial number " : "cable id ") + std::to_string(target->number);
    if (found < 0) {
        *failure = "the discovery of " + what + " failed: " + socketErrorText(lpGetLastSocketError()) +
                   " (it needs an IPv4 address besides loopback)";
        return false;
    }
    if (found == 0) {
        *failure = "no scanner answered the discovery of " + what;
        return false;
    }
    if (found > 1) {
        std::string list;
        for (std::int32_t i = 0; i < found; ++i) list += (i ? ", " : "") + dottedAddress(addresses[i]);
        *failure = std::to_string(found) + " scanners answered the discovery of " + what + " (" + list +
                   "): name one by its address";
        return false;
    }
    target->host = dottedAddress(addresses[0]);
    return true;
}

}  // namespace

std::set<std::string> withTargetOptions(std::set<std::string> valueOptions) {
    valueOptions.insert({"serial", "cable", "connect-timeout"});
    return valueOptions;
}

void printTargetHelp() {
    std::printf(
        "\n"
        "scanner:\n"
        "  HOST                 host name or IPv4 address, HOST:PORT for another TCP\n"
        "                       port than %d\n"
        "  --serial N           the scanner with serial number N, found by discovery\n"
        "                       (UDP broadcast) and opened at the address it answered from\n"
        "  --cable N            the same for the scanner with cable id N\n"
        "  --connect-timeout MS longest wait for the connection (default %d)\n",
        KELO_SCANNER_TCP_PORT, kDefaultConnectTimeoutMs);
}

std::string ScannerTarget::name() const {
    switch (by) {
        case By::Host:
            return port == KELO_SCANNER_TCP_PORT ? host : host + ":" + std::to_string(port);
        case By::SerialNumber:
        case By::CableId: {
            std::string out = (by == By::SerialNumber ? "serial number " : "cable id ") + std::to_string(number);
            return host.empty() ? out : out + " (" + host + ")";
        }
    }
    return host;
}

bool parseHostWord(const std::string& word, ScannerTarget* target) {
    target->by = ScannerTarget::By::Host;
    target->port = KELO_SCANNER_TCP_PORT;
    const auto colon = word.rfind(':');
    target->host = word.substr(0, colon);
    if (colon == std::string::npos) return !word.empty();
    std::int64_t port = 0;
    if (!parseInteger(word.substr(colon + 1), 1, 65535, &port) || target->host.empty()) return false;
    target->port = static_cast<std::uint16_t>(port);
    return true;
}

bool parseTargets(CommandLine& args, std::vector<std::string>* words, std::size_t at, bool several,
                  Targets* targets, std::string* error) {
    std::int64_t timeout = 0;
    if (!args.number("connect-timeout", kDefaultConnectTimeoutMs, 1, 3600000, &timeout)) {
        *error = args.error();
        return false;
    }
    targets->connectTimeoutMs = static_cast<std::int32_t>(timeout);
    if (!parseNumbers(args, "serial", ScannerTarget::By::SerialNumber, targets, error) ||
        !parseNumbers(args, "cable", ScannerTarget::By::CableId, targets, error)) {
        return false;
    }
    // Found by discovery, one scanner needs no host word; several take every one left.
    const std::size_t hosts = several ? (words->size() > at ? words->size() - at : 0)
                                      : (targets->scanners.empty() && words->size() > at ? 1 : 0);
    for (std::size_t i = 0; i < hosts; ++i) {
        ScannerTarget target;
        if (!parseHostWord((*words)[at + i], &target)) {
            *error = "not a HOST or HOST:PORT (port 1 to 65535): '" + (*words)[at + i] + "'";
            return false;
        }
        targets->scanners.insert(targets->scanners.begin() + static_cast<std::ptrdiff_t>(i), target);
    }
    words->erase(words->begin() + static_cast<std::ptrdiff_t>(std::min(at, words->size())),
                 words->begin() + static_cast<std::ptrdiff_t>(std::min(at + hosts, words->size())));
    if (targets->scanners.empty()) {
        *error = "expected a HOST, --serial N or --cable N";
        return false;
    }
    if (!several && targets->scanners.size() > 1) {
        *error = "expected one scanner: a HOST, --serial N or --cable N";
        return false;
    }
    return true;
}

ScannerConnection* openTarget(ScannerTarget* target, std::int32_t connectTimeoutMs, std::string* failure) {
    if (target->by != ScannerTarget::By::Host && !discover(target, failure)) return nullptr;
    ScannerConnection* connection = lpOpenConnectionPort(target->host.c_str(), target->port, connectTimeoutMs);
    if (connection != nullptr) return connection;
    const std::int32_t error = lpGetLastSocketError();
    if (isLookupError(error)) {
        *failure = "cannot find " + target->host + ": " + systemErrorText(error);
    } else if (error == 0) {
        // The connect's wait ran out: nothing answered, not even with a refusal.
        *failure = "no answer from " + target->name() + " within " + std::to_string(connectTimeoutMs) + " ms";
    } else {
        *failure = "cannot connect to " + target->name() + ": " + socketErrorText(error);
    }
    return nullptr;
}

std::string dottedAddress(std::uint32_t address) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

}  // namespace kelo::cli
