// SPDX-License-Identifier: Apache-2.0
// kelo status HOST: the scanner's status values, each with its description.
#include <cstdio>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "session.h"
#include "status_values.h"

namespace kelo::cli {
namespace {

const char* const kName = "status";

void printHelp() {
    std::puts(
        "usage: kelo status HOST|--serial N|--cable N [--values-only] [--max-key N]\n"
        "                   [--length N]\n"
        "\n"
        "Fetches the scanner's status list and prints every value, one a line, as\n"
        "'key: value (hex)  description', the description being the scanner's own\n"
        "text for that key (one request each). The scanner defines what each key\n"
        "means. A last line counts the values.\n"
        "\n"
        "options:\n"
        "  --values-only    leave the descriptions out: 'key: value (hex)'\n"
        "  --max-key N      highest key to look up (default 4095)\n"
        "  --length N       longest description kept, in characters (default 255)\n"
        "  --help           this text");
    printTargetHelp();
}

}  // namespace

int runStatus(int argc, char** argv) {
    CommandLine args;
    if (!args.parse(argc, argv, withTargetOptions({"max-key", "length"}), {"values-only"})) {
        return usageError(kName, args.error());
    }
    if (args.helpWanted()) {
        printHelp();
        return kExitOk;
    }
    std::vector<std::string> words = args.positional();
    Targets targets;
    std::string error;
    if (!parseTargets(args, &words, 0, false, &targets, &error)) return usageError(kName, error);
    if (!words.empty()) return usageError(kName, "unexpected '" + words[0] + "'");
    std::int64_t maxKey = 0, length = 0;
    if (!args.number("max-key", kDefaultMaxStatusKey, 0, 0xFFFFFFFE, &maxKey) ||
        !args.number("length", 255, 0, 1 << 20, &length)) {
        return usageError(kName, args.error());
    }

    Scanner scanner(kName, targets.scanners[0], targets.connectTimeoutMs);
    if (!scanner.open()) return kExitFailed;
    const int32_t fetched = lpGetScannerStatusFromScanner(scanner.handle());
    if (fetched != KELO_OK) {
        return reportFailure(kName, "status request", scanner.handle(), fetched, {"the status list"});
    }

    const auto values = heldStatusValues(scanner.handle(), static_cast<std::uint32_t>(maxKey));
    std::string failure;  // the first description that could not be fetched ends the fetching
    for (const StatusValue& held : values) {
        std::string text;
        if (!args.has("values-only") && failure.empty()) {
            std::int32_t result = KELO_OK;
            text = statusDescription(scanner.handle(), held.key, static_cast<std::uint32_t>(length), &result);
            if (result != KELO_OK) {
                failure = "description of " + std::to_string(held.key) + ": " +
                          failureText(scanner.handle(), result, {"a description"});
            }
        }
        std::printf("%u: %d (0x%08X)%s%s\n", held.key, held.value, static_cast<unsigned>(held.value),
                    text.empty() ? "" : "  ", text.c_str());
    }
    std::printf("%zu status value(s) from %s\n", values.size(), scanner.name().c_str());
    return failure.empty() ? kExitOk : report(kName, failure);
}

}  // namespace kelo::cli
