// SPDX-License-Identifier: Apache-2.0
// kelo params get|put HOST FILE: the scanner's parameter file to and from disk.
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "session.h"

namespace kelo::cli {
namespace {

const char* const kName = "params";

void printHelp() {
    std::puts(
        "usage: kelo params get HOST|--serial N|--cable N FILE\n"
        "       kelo params put HOST|--serial N|--cable N FILE\n"
        "\n"
        "get  fetches the scanner's parameter set and writes it to FILE (created or\n"
        "     replaced); the file is written only once the whole answer has arrived.\n"
        "put  uploads FILE as the scanner's parameter set and prints the scanner's\n"
        "     verdict; when it rejects the set, its error messages follow, one a line.\n"
        "\n"
        "options:\n"
        "  --help  this text");
    printTargetHelp();
}

void printMessages(ScannerConnection* handle) {
    const int32_t count = lpGetNumberOfErrorMessages(handle);
    for (int32_t i = 0; i < count; ++i) {
        const char* message = lpGetErrorMessage(handle, static_cast<uint32_t>(i));
        std::fprintf(stderr, "  %s\n", message != nullptr ? message : "");
    }
}

int get(const Targets& targets, const std::string& path) {
    Scanner scanner(kName, targets.scanners[0], targets.connectTimeoutMs);
    if (!scanner.open()) return kExitFailed;
    const int32_t result = lpGetParameterFileFromScanner(scanner.handle(), path.c_str());
    if (result == KELO_ERROR_STATE && lpIsInSyncMode(scanner.handle()) == 0) {
        return report(kName, "cannot open '" + path + "' for writing");
    }
    if (result != KELO_OK) {
        return reportFailure(kName, "parameter fetch", scanner.handle(), result, {"the parameter file"});
    }
    std::printf("parameters of %s written to %s\n", scanner.name().c_str(), path.c_str());
    return kExitOk;
}

int put(const Targets& targets, const std::string& path) {
    Scanner scanner(kName, targets.scanners[0], targets.connectTimeoutMs);
    if (!scanner.open()) return kExitFailed;
    const int32_t result = lpSendParameterFileToScanner(scanner.handle(), path.c_str());
    if (result == KELO_OK) {
        std::printf("%s accepted the parameters of %s\n", scanner.name().c_str(), path.c_str());
        return kExitOk;
    }
    if (result == KELO_ERROR_STATE && lpIsInSyncMode(scanner.handle()) == 0) {
        // The messages tell a local file problem from the scanner's verdict.
        const int32_t count = lpGetNumberOfErrorMessages(scanner.handle());
        report(kName, count > 0 ? "the upload of '" + path + "' failed, " +
                                      std::to_string(count) + " message(s):"
                                : "the scanner rejected the parameters (no messages)");
        printMessages(scanner.handle());
        return kExitFailed;
    }
    return reportFailure(kName, "parameter upload", scanner.handle(), result,
                         {"the scanner's verdict", KELO_DEFAULT_TIMEOUT_MS, Refusal::ParameterFile});
}

}  // namespace

int runParams(int argc, char** argv) {
    CommandLine args;
    if (!args.parse(argc, argv, withTargetOptions({}), {})) return usageError(kName, args.error());
    if (args.helpWanted()) {
        printHelp();
        return kExitOk;
    }
    std::vector<std::string> words = args.positional();
    Targets targets;
    std::string error;
    if (words.empty() || (words[0] != "get" && words[0] != "put")) {
        return usageError(kName, "expected get|put HOST FILE");
    }
    if (!parseTargets(args, &words, 1, false, &targets, &error)) return usageError(kName, error);
    if (words.size() != 2) return usageError(kName, "expected get|put HOST FILE");
    return words[0] == "get" ? get(targets, words[1]) : put(targets, words[1]);
}

}  // namespace kelo::cli
