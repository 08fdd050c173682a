// SPDX-License-Identifier: Apache-2.0
// kelo: drives a laser profile scanner from the terminal through kelo_dll.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "interrupts.h"
#include "kelo_dll.h"
#include "session.h"

namespace {

struct Subcommand {
    const char* name;
    const char* summary;
    int (*run)(int argc, char** argv);
};

const Subcommand kSubcommands[] = {
    {"discover", "find scanners on the local networks (UDP broadcast), with their addresses",
     kelo::cli::runDiscover},
    {"status", "show a scanner's status values and descriptions", kelo::cli::runStatus},
    {"params", "fetch a scanner's parameter file, or upload one", kelo::cli::runParams},
    {"calib", "show the calibration of every laser", kelo::cli::runCalib},
    {"grab", "acquire profiles in time, encoder or pulse sync, from one scanner or a group",
     kelo::cli::runGrab},
    {"image", "take a camera image and write it as PGM", kelo::cli::runImage},
    {"firmware", "send a firmware image to a scanner", kelo::cli::runFirmware},
    {"view", "show scanners live in a web browser", kelo::cli::runView},
};

void printHelp() {
    std::printf(
        "usage: kelo COMMAND [ARGUMENTS] [OPTIONS]\n"
        "\n"
        "Drives laser profile scanners through kelo_dll %u.%u. HOST is a host name or a\n"
        "dotted IPv4 address, HOST:PORT where the scanner does not answer on TCP port\n"
        "%d; --serial N or --cable N instead find the scanner by discovery.\n"
        "\n"
        "commands:\n",
        lpGetKeloDllMajorVersionNumber(), lpGetKeloDllMinorVersionNumber(),
        KELO_SCANNER_TCP_PORT);
    for (const auto& command : kSubcommands) {
        std::printf("  %-10s %s\n", command.name, command.summary);
    }
    std::printf(
        "\n"
        "Each command has its own help: kelo COMMAND --help.\n"
        "Exit status: 0 done, 1 the scanner or the library reported a failure,\n"
        "2 the command line was wrong, 130 interrupted by Ctrl-C.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
        !std::strcmp(argv[1], "help")) {
        printHelp();
        return argc < 2 ? kelo::cli::kExitUsage : kelo::cli::kExitOk;
    }
    if (!std::strcmp(argv[1], "--version")) {
        std::printf("kelo (kelo_dll %u.%u)\n", lpGetKeloDllMajorVersionNumber(),
                    lpGetKeloDllMinorVersionNumber());
        return kelo::cli::kExitOk;
    }
    for (const auto& command : kSubcommands) {
        if (std::strcmp(argv[1], command.name) != 0) continue;
        // Each line reaches the terminal as it is printed, so an interrupted
        // command keeps what it said; profiles on standard output get a buffer.
        std::setvbuf(stdout, nullptr, _IONBF, 0);
        return kelo::cli::runInterruptible(command.name, command.run, argc - 2, argv + 2);
    }
    std::fprintf(stderr, "kelo: unknown command '%s' (see kelo --help)\n", argv[1]);
    return kelo::cli::kExitUsage;
}
