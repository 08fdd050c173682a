// SPDX-License-Identifier: Apache-2.0
// kelo firmware HOST FILE --version V: a firmware upload.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "session.h"

namespace kelo::cli {
namespace {

const char* const kName = "firmware";
// The length word is 32 bits and needs room for the trailer.
constexpr std::uint64_t kMaxImageSize = 0xFFFFFFFFull - 4;

void printHelp() {
    std::printf(
        "usage: kelo firmware HOST|--serial N|--cable N FILE --version V\n"
        "\n"
        "Sends the bytes of FILE to the scanner as a firmware update and waits for\n"
        "its confirmation. V is the firmware's version number: from %u on, the\n"
        "upload ends with the trailer DE AD BE EF, below it it does not. Whether\n"
        "and when the scanner restarts afterwards is up to the scanner.\n"
        "\n"
        "options:\n"
        "  --version V  version number of the image (required)\n"
        "  --help       this text\n",
        KELO_FIRMWARE_TRAILER_VERSION);
    printTargetHelp();
}

}  // namespace

int runFirmware(int argc, char** argv) {
    CommandLine args;
    if (!args.parse(argc, argv, withTargetOptions({"version"}), {})) return usageError(kName, args.error());
    if (args.helpWanted()) {
        printHelp();
        return kExitOk;
    }
    std::vector<std::string> words = args.positional();
    Targets targets;
    std::string error;
    if (!parseTargets(args, &words, 0, false, &targets, &error)) return usageError(kName, error);
    if (words.size() != 1) return usageError(kName, "expected HOST FILE");
    if (!args.has("version")) return usageError(kName, "--version is required");
    std::int64_t version = 0;
    if (!args.number("version", 0, 0, 0xFFFFFFFF, &version)) return usageError(kName, args.error());

    const std::string& path = words[0];
    std::ifstream file(path, std::ios::binary);
    if (!file) return report(kName, "cannot open '" + path + "'");
    std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
    if (file.bad()) return report(kName, "cannot read '" + path + "'");
    if (image.size() > kMaxImageSize) return report(kName, "'" + path + "' is too large");

    Scanner scanner(kName, targets.scanners[0], targets.connectTimeoutMs);
    if (!scanner.open()) return kExitFailed;
    // The library wants a non-null image even for an empty one.
    static const std::uint8_t kEmpty = 0;
    const int32_t result = lpSendScannerFirmwareUpdate(
        scanner.handle(), image.empty() ? &kEmpty : image.data(),
        static_cast<std::uint32_t>(image.size()), static_cast<std::uint32_t>(version));
    if (result != KELO_OK) {
        return reportFailure(kName, "firmware update", scanner.handle(), result,
                             {"the scanner's confirmation", KELO_DEFAULT_TIMEOUT_MS, Refusal::FirmwareRejected});
    }
    std::printf("%s confirmed the firmware update (%zu bytes, version %lld)\n",
                scanner.name().c_str(), image.size(), static_cast<long long>(version));
    return kExitOk;
}

}  // namespace kelo::cli
