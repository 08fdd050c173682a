// SPDX-License-Identifier: Apache-2.0
// kelo discover: the scanners that answer a UDP broadcast, each with the
// address its reply came from.
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
        "usage: kelo discover [--serial N | --cable N] [--max N] [--json]\n"
        "\n"
        "Broadcasts a discovery request on UDP port %d from every local IPv4\n"
        "address (loopback excepted) and prints one line for each scanner that\n"
        "answers within 500 ms of quiet: the address its reply came from (the one\n"
        "to connect to), its identity, then the other values of its record as the\n"
        "scanner sent them (only the identity means something to the library):\n"
        "  10.0.0.5 identity 1001 value1 1001 value2 0 value3 0 value4 0x0500000A\n"
        "    value6 1 value7 1 value8 0x00FFFFFF block \"kelo-scanner-emulator\"\n"
        "(on one line). The count of scanners follows on standard error. This\n"
        "sends broadcasts on every network the host is on.\n"
        "\n"
        "options:\n"
        "  --serial N    ask only the scanner with serial number N\n"
        "  --cable N     ask only the scanner with cable id N (--cable-id N as well)\n"
        "  --max N       stop after N scanners (default 64)\n"
        "  --json        a JSON array instead, an object per scanner with the same\n"
        "                names; block as text (null when it is none) and blockHex\n"
        "  --help        this text\n",
        KELO_SCANNER_UDP_PORT);
}

// The bytes before the first zero when they are printable text.
bool blockText(const std::uint8_t* block, std::size_t size, std::string* text) {
    std::size_t length = 0;
    while (length < size && block[length] != 0) {
        if (!std::isprint(block[length])) return false;
        ++length;
    }
    text->assign(reinterpret_cast<const char*>(block), length);
    return true;
}

// The block in hex, up to its last byte that is not zero.
std::string blockHex(const std::uint8_t* block, std::size_t size, std::size_t most) {
    while (size > 0 && block[size - 1] == 0) --size;
    std::string out;
    char piece[3];
    for (std::size_t i = 0; i < size && i < most; ++i) {
        std::snprintf(piece, sizeof piece, "%02x", block[i]);
        out += piece;
    }
    return out;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

void printLine(std::uint32_t address, const ScannerInfo& r) {
    std::string text;
    const std::string block = blockText(r.block, sizeof r.block, &text)
                                  ? quoted(text)
                                  : blockHex(r.block, sizeof r.block, 16) + "...";
    std::printf("%s identity %u value1 %u value2 %u value3 %u value4 0x%08X value6 %u value7 %u "
                "value8 0x%08X block %s\n",
                dottedAddress(address).c_str(), r.identity, r.value1, r.value2, r.value3, r.value4, r.value6,
                r.value7, r.value8, block.c_str());
}

void printJson(std::uint32_t address, const ScannerInfo& r, bool last) {
    std::string text;
    const std::string block = blockText(r.block, sizeof r.block, &text) ? quoted(text) : "null";
    std::printf("  {\"address\": \"%s\", \"identity\": %u, \"value1\": %u, \"value2\": %u, \"value3\": %u, "
                "\"value4\": %u, \"value6\": %u, \"value7\": %u, \"value8\": %u, \"block\": %s, "
                "\"blockHex\": \"%s\"}%s\n",
                dottedAddress(address).c_str(), r.identity, r.value1, r.value2, r.value3, r.value4, r.value6,
                r.value7, r.value8, block.c_str(), blockHex(r.block, sizeof r.block, sizeof r.block).c_str(),
                last ? "" : ",");
}

}  // namespace

int runDiscover(int argc, char** argv) {
    CommandLine args;
    if (!args.parse(argc, argv, {"serial", "cable", "cable-id", "max"}, {"json"})) {
        return usageError(kName, args.error());
    }
    if (args.helpWanted()) {
        printHelp();
        return kExitOk;
    }
    if (!args.positional().empty()) return usageError(kName, "takes no HOST");
    const std::string cableOption = args.has("cable-id") ? "cable-id" : "cable";
    if (args.has("serial") + args.has("cable") + args.has("cable-id") > 1) {
        return usageError(kName, "give --serial or --cable, not both");
    }
    std::int64_t serial = 0, cable = 0, max = 0;
    if (!args.number("serial", 0, 0, 0xFFFFFFFF, &serial) || !args.number(cableOption, 0, 0, 0xFFFFFFFF, &cable) ||
        !args.number("max", 64, 1, KELO_VB_SCRATCH_CAPACITY, &max)) {
        return usageError(kName, args.error());
    }
    const auto capacity = static_cast<std::uint32_t>(max);
    std::unique_ptr<ScannerInfo[]> records(new (std::nothrow) ScannerInfo[capacity]);
    std::unique_ptr<std::uint32_t[]> addresses(new (std::nothrow) std::uint32_t[capacity]);
    if (!records || !addresses) return report(kName, "out of memory");

    std::int32_t found = 0;
    if (args.has("serial")) {
        found = lpFindScannerBySerialNumberWithAddresses(static_cast<std::uint32_t>(serial), records.get(),
                                                         addresses.get(), capacity);
    } else if (args.has(cableOption)) {
        found = lpFindScannerByCableIdWithAddresses(static_cast<std::uint32_t>(cable), records.get(),
                                                    addresses.get(), capacity);
    } else {
        found = lpFindAllScannersWithAddresses(records.get(), addresses.get(), capacity);
    }
    if (found < 0) {
        return report(kName, "discovery failed: " + socketErrorText(lpGetLastSocketError()) +
                                 " (it needs an IPv4 address besides loopback)");
    }
    const bool json = args.has("json");
    if (json) std::printf("[\n");
    for (std::int32_t i = 0; i < found; ++i) {
        if (json) printJson(addresses[i], records[i], i + 1 == found);
        else printLine(addresses[i], records[i]);
    }
    if (json) std::printf("]\n");
    std::fprintf(stderr, "kelo discover: %d scanner(s) answered\n", found);
    return kExitOk;
}

}  // namespace kelo::cli
