// SPDX-License-Identifier: Apache-2.0
#include "soak_options.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace soak {
namespace {

constexpr std::uint32_t kFirstSerial = 1001;

void printHelp() {
    std::printf(
        "usage: soak [options]\n"
        "\n"
        "Collects profiles from several scanners for a long time while they fail:\n"
        "it starts one kelo-scanner-emulator per scanner on a loopback address of\n"
        "its own and, from a seeded schedule, makes each go silent, send short\n"
        "answers, answers of the wrong type or of a huge length, drop connections\n"
        "or restart. One kelo::Stream per scanner collects; after a failure the\n"
        "stream stops and the connection is opened again. Every profile is checked\n"
        "(the emulators stamp a sequence number and a checksum into each one), and\n"
        "every call is timed. It ends with the line\n"
        "  soak: S s, P profiles, F faults injected, R reported with their failure\n"
        "  code, H hangs, rss +K KiB, fds +D, threads +T\n"
        "(memory, descriptors and threads from the baseline to the end), and exit\n"
        "status 0 when nothing hung, every fault was reported (or is explained),\n"
        "every profile arrived intact with gaps only after failures, and nothing\n"
        "grew.\n"
        "\n"
        "options:\n"
        "  --seconds S         length of the run (default 60)\n"
        "  --seed N            seed of the fault schedule (default 1)\n"
        "  --scanners N        emulated scanners (default 8)\n"
        "  --rate HZ           profiles per second of each (default 500)\n"
        "  --batch N           profiles per batch request (default 50)\n"
        "  --read-timeout MS   the streams' read time-out (default 1000)\n"
        "  --silence MS        silence reported, and the connection opened anew,\n"
        "                      after this long (default 1000)\n"
        "  --baseline-at S     when memory, descriptors and threads are first taken\n"
        "                      (default: after 60 s, or a third of a shorter run)\n"
        "  --rss-limit KIB     growth of resident memory allowed (default 1024); 0: not\n"
        "                      checked, as under AddressSanitizer, whose allocator\n"
        "                      holds freed memory back (its leak check covers it)\n"
        "  --emulator PATH     kelo-scanner-emulator (default: beside this program)\n"
        "  --first-address A   address of the first emulator, the others follow\n"
        "                      (default 127.26.X.1, X from the process id)\n"
        "  --port N            TCP port of the scanners (default %d)\n"
        "  --scanner HOST[:PORT]\n"
        "                      collect from this scanner instead (repeat for each):\n"
        "                      no emulators, no faults; profiles are counted, not\n"
        "                      checked, and failures are reported as they come\n"
        "  --plant             only the emulators and their faults, for a collector\n"
        "                      in another process (the Python soak): their addresses\n"
        "                      and every fault on standard output, one line each;\n"
        "                      at the baseline it waits for \"resume\" on standard\n"
        "                      input, and it ends when its input ends\n"
        "  --help              this text\n",
        KELO_SCANNER_TCP_PORT);
}

std::string besideThisProgram(const char* name) {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return name;
    std::string self(path, static_cast<std::size_t>(length));
    return self.substr(0, self.rfind('/') + 1) + name;
}

std::string nextAddress(const std::string& address, std::size_t step) {
    unsigned a, b, c, d;
    if (std::sscanf(address.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4) return address;
    const unsigned long value = ((a << 24) | (b << 16) | (c << 8) | d) + step;
    return std::to_string(value >> 24 & 255) + "." + std::to_string(value >> 16 & 255) + "." +
           std::to_string(value >> 8 & 255) + "." + std::to_string(value & 255);
}

bool parseTarget(const std::string& text, Target* target) {
    const std::size_t colon = text.rfind(':');
    target->host = text.substr(0, colon);
    if (colon == std::string::npos) return !text.empty();
    char* end = nullptr;
    const long port = std::strtol(text.c_str() + colon + 1, &end, 10);
    target->port = static_cast<std::uint32_t>(port);
    return *end == '\0' && port >= 1 && port <= 65535 && colon > 0;
}

}  // namespace

bool parseOptions(int argc, char** argv, Options* o, int* exitCode) {
    *exitCode = 2;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto number = [&](double low, double high, double* out) {
            char* end = nullptr;
            *out = value ? std::strtod(value, &end) : 0;
            ++i;
            if (value && *end == '\0' && *out >= low && *out <= high) return true;
            std::fprintf(stderr, "soak: %s needs a number from %g to %g\n", option.c_str(), low, high);
            return false;
        };
        auto milliseconds = [&](std::chrono::milliseconds* out) {
            double ms = 0;
            if (!number(1, 600000, &ms)) return false;
            *out = std::chrono::milliseconds(static_cast<long>(ms));
            return true;
        };
        double n = 0;
        if (option == "--help" || option == "-h") {
            printHelp();
            *exitCode = 0;
            return false;
        } else if (option == "--seconds") {
            if (!number(1, 1e7, &o->seconds)) return false;
        } else if (option == "--seed") {
            if (!number(0, 1e15, &n)) return false;
            o->seed = static_cast<std::uint64_t>(n);
        } else if (option == "--scanners") {
            if (!number(1, 250, &n)) return false;
            o->scanners = static_cast<std::size_t>(n);
        } else if (option == "--rate") {
            if (!number(1, 100000, &o->rateHz)) return false;
        } else if (option == "--batch") {
            if (!number(1, 4096, &n)) return false;
            o->collector.batchSize = static_cast<std::uint32_t>(n);
        } else if (option == "--read-timeout") {
            if (!milliseconds(&o->collector.readTimeout)) return false;
        } else if (option == "--silence") {
            if (!milliseconds(&o->collector.silenceTimeout)) return false;
        } else if (option == "--baseline-at") {
            if (!number(0, 1e7, &o->baselineAt)) return false;
        } else if (option == "--rss-limit") {
            if (!number(0, 1e9, &n)) return false;
            o->rssLimitKiB = static_cast<long>(n);
        } else if (option == "--port") {
            if (!number(1, 65535, &n)) return false;
            o->port = static_cast<std::uint32_t>(n);
        } else if ((option == "--emulator" || option == "--first-address" || option == "--scanner") && value) {
            ++i;
            if (option == "--emulator") o->emulator = value;
            if (option == "--first-address") o->firstAddress = value;
            Target target;
            if (option == "--scanner" && !parseTarget(value, &target)) {
                std::fprintf(stderr, "soak: --scanner takes HOST or HOST:PORT, not %s\n", value);
                return false;
            }
            if (option == "--scanner") o->targets.push_back(target);
        } else if (option == "--plant") {
            o->plant = true;
        } else {
            std::fprintf(stderr, "soak: unknown option or missing value: %s (try --help)\n", option.c_str());
            return false;
        }
    }
    if (o->plant && !o->targets.empty()) {
        std::fprintf(stderr, "soak: --plant starts emulators; --scanner names scanners that are there\n");
        return false;
    }
    if (o->emulator.empty()) o->emulator = besideThisProgram("kelo-scanner-emulator");
    if (o->firstAddress.empty()) o->firstAddress = "127.26." + std::to_string(getpid() % 250 + 1) + ".1";
    if (o->baselineAt < 0) o->baselineAt = o->seconds >= 180 ? 60 : o->seconds / 3;
    if (o->targets.empty()) {
        for (std::size_t s = 0; s < o->scanners; ++s) {
            o->targets.push_back(Target{nextAddress(o->firstAddress, s), o->port,
                                    kFirstSerial + static_cast<std::uint32_t>(s), true});
        }
        o->emulated = true;
    }
    return true;
}

}  // namespace soak
