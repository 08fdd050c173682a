// SPDX-License-Identifier: Apache-2.0
// kelo status HOST: the scanner's status values, and descriptions on request.
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
        "usage: kelo status HOST [--describe ID]... [--describe-keys] [--max-key N]\n"
        "                        [--length N]\n"
        "\n"
        "Fetches the scanner's status list and prints every value as\n"
        "'key: value (hex)'. The scanner defines what each key means.\n"
        "\n"
        "options:\n"
        "  --describe ID    also fetch and print the description text of ID (repeatable)\n"
        "  --describe-keys  fetch the description of every status key found\n"
        "  --max-key N      highest key to look up (default 4095)\n"
        "  --length N       longest description kept, in characters (default 255)\n"
        "  --help           this text");
}

bool describe(const Scanner& scanner, std::uint32_t id, std::uint32_t length) {
    std::int32_t result = KELO_OK;
    const std::string text = statusDescription(scanner.handle(), id, length, &result);
    if (result != KELO_OK) {
        reportResult(kName, "description of " + std::to_string(id), result);
        return false;
    }
    std::printf("description %u: %s\n", id, text.c_str());
    return true;
}

}  // namespace

int runStatus(int argc, char** argv) {
    CommandLine args;
    if (!args.parse(argc, argv, {"describe", "max-key", "length"}, {"describe-keys"})) {
        return usageError(kName, args.error());
    }
    if (args.helpWanted()) {
        printHelp();
        return kExitOk;
    }
    if (args.positional().size() != 1) return usageError(kName, "expected one HOST");
    std::int64_t maxKey = 0, length = 0;
    if (!args.number("max-key", kDefaultMaxStatusKey, 0, 0xFFFFFFFE, &maxKey) ||
        !args.number("length", 255, 0, 1 << 20, &length)) {
        return usageError(kName, args.error());
    }
    std::vector<std::uint32_t> ids;
    for (const auto& text : args.values("describe")) {
        std::int64_t id = 0;
        if (!parseInteger(text, 0, 0xFFFFFFFF, &id)) {
            return usageError(kName, "--describe: not an identifier: '" + text + "'");
        }
        ids.push_back(static_cast<std::uint32_t>(id));
    }

    Scanner scanner(kName, args.positional()[0]);
    if (!scanner.open()) return kExitFailed;
    const int32_t fetched = lpGetScannerStatusFromScanner(scanner.handle());
    if (fetched != KELO_OK) return reportResult(kName, "status request", fetched);

    std::vector<std::uint32_t> keys;
    for (const StatusValue& held :
         heldStatusValues(scanner.handle(), static_cast<std::uint32_t>(maxKey))) {
        keys.push_back(held.key);
        std::printf("%u: %d (0x%08X)\n", held.key, held.value, static_cast<unsigned>(held.value));
    }
    std::printf("%zu status value(s) from %s\n", keys.size(), scanner.host().c_str());

    if (args.has("describe-keys")) ids.insert(ids.begin(), keys.begin(), keys.end());
    bool ok = true;
    for (std::uint32_t id : ids) ok = describe(scanner, id, static_cast<std::uint32_t>(length)) && ok;
    return ok ? kExitOk : kExitFailed;
}

}  // namespace kelo::cli
