// SPDX-License-Identifier: Apache-2.0
// kelo discover: the scanners that answer a UDP broadcast.
#include <cctype>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "command_line.h"
#include "commands.h"
#include "session.h"

namespace kelo::cli {
namespace {

const char* const kName = "discover";

void printHelp() {
    std::printf(
        "usage: kelo discover [--serial N | --cable-id N] [--max N]\n"
        "\n"
        "Broadcasts a discovery request on UDP port %d from every local IPv4\n"
        "address (loopback excepted) and lists each scanner that answers within\n"
        "500 ms of quiet. This sends broadcasts on every network the host is on.\n"
        "Only the identity of a record means something to the library; the other\n"
        "values are shown as the scanner sent them.\n"
        "\n"
        "options:\n"
        "  --serial N    ask only the scanner with serial number N\n"
        "  --cable-id N  ask only the scanner with cable id N\n"
        "  --max N       stop after N scanners (default 64)\n"
        "  --help        this text\n",
        KELO_SCANNER_UDP_PORT);
}

// The block as text when it is a printable string, else its first bytes.
std::string blockText(const std::uint8_t* block, std::size_t size) {
    std::size_t length = 0;
    while (length < size && block[length] != 0) {
        if (!std::isprint(block[length])) length = size + 1;
        else ++length;
    }
    if (length <= size) return "\"" + std::string(reinterpret_cast<const char*>(block), length) + "\"";
    std::string out;
    char piece[4];
    for (std::size_t i = 0; i < 16 && i < size; ++i) {
        std::snprintf(piece, sizeof piece, "%02X ", block[i]);
        out += piece;
    }
    return out + "...";
}

}  // namespace

int runDiscover(int argc, char** argv) {
    CommandLine args;
    if (!args.parse(argc, argv, {"serial", "cable-id", "max"}, {})) {
        return usageError(kName, args.error());
    }
    if (args.helpWanted()) {
        printHelp();
        return kExitOk;
    }
    if (!args.positional().empty()) return usageError(kName, "takes no HOST");
    if (args.has("serial") && args.has("cable-id")) {
        return usageError(kName, "give --serial or --cable-id, not both");
    }
    std::int64_t serial = 0, cable = 0, max = 0;
    if (!args.number("serial", 0, 0, 0xFFFFFFFF, &serial) ||
        !args.number("cable-id", 0, 0, 0xFFFFFFFF, &cable) ||
        !args.number("max", 64, 1, KELO_VB_SCRATCH_CAPACITY, &max)) {
        return usageError(kName, args.error());
    }
    const auto capacity = static_cast<std::uint32_t>(max);
    std::unique_ptr<ScannerInfo[]> records(new (std::nothrow) ScannerInfo[capacity]);
    if (!records) return report(kName, "out of memory");

    int32_t found = 0;
    if (args.has("serial")) {
        found = lpFindScannerBySerialNumber(static_cast<std::uint32_t>(serial), records.get(), capacity);
    } else if (args.has("cable-id")) {
        found = lpFindScannerByCableId(static_cast<std::uint32_t>(cable), records.get(), capacity);
    } else {
        found = lpFindAllScanners(records.get(), capacity);
    }
    if (found < 0) {
        return report(kName, "discovery failed (socket error " +
                                 std::to_string(lpGetLastSocketError()) +
                                 "); the host needs an IPv4 address besides loopback");
    }
    for (int32_t i = 0; i < found; ++i) {
        const ScannerInfo& r = records[i];
        std::printf("scanner %d: identity %u\n", i + 1, r.identity);
        std::printf("  value1 %u  value2 %u  value3 %u  value4 0x%08X\n", r.value1, r.value2,
                    r.value3, r.value4);
        std::printf("  value6 %u  value7 %u  value8 0x%08X\n", r.value6, r.value7, r.value8);
        std::printf("  block  %s\n", blockText(r.block, sizeof r.block).c_str());
    }
    std::printf("%d scanner(s) answered\n", found);
    return kExitOk;
}

}  // namespace kelo::cli
