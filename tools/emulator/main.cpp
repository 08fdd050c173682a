// SPDX-License-Identifier: Apache-2.0
// kelo-scanner-emulator: a simulated scanner on the scanner's TCP port.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "core/socket_layer.h"
#include "emulator/control_commands.h"
#include "emulator/emulator.h"
#include "emulator/firmware_state.h"
#include "emulator/scan_image_state.h"
#include "kelo_dll/api.h"
#ifdef KELO_HAVE_REPLAY
#include "emulator/replay/replay_program.h"
#endif

namespace {

std::atomic<bool> gStop{false};
// A fault mode asked for on the control channel, not yet applied; -1: none.
std::atomic<int> gAskedFault{-1};
constexpr auto kTick = std::chrono::milliseconds(10);

void onSignal(int) { gStop = true; }

// The control channel's reader touches only these globals: it may still be
// blocked in a read while main() ends.
void readControl() {
    kelo::emu::readControlCommands(
        std::cin, [](kelo::emu::Fault fault) { gAskedFault = static_cast<int>(fault); }, std::cerr);
    gStop = true;
}

void printHelp() {
    std::printf(
        "usage: kelo-scanner-emulator [options]\n"
        "\n"
        "Plays a laser profile scanner on TCP port %d so the kelo_dll library,\n"
        "its tools and tests can run without hardware.\n"
        "\n"
        "options:\n"
        "  --bind ADDR        address to listen on (default 0.0.0.0)\n"
        "  --port N           TCP port (default %d)\n"
        "  --serial N         serial number (default 1001)\n"
        "  --cable-id N       cable id (default 0)\n"
        "  --lasers N         number of lasers (default 1)\n"
        "  --points N         points per generated profile, up to 486 (default 243)\n"
        "  --rate HZ          profiles per second in time sync (default 2000)\n"
        "  --seed N           seed of the profile noise (default 1)\n"
        "  --image-width N    camera image width in pixels (default 640)\n"
        "  --image-height N   camera image height in rows (default 480)\n"
        "  --firmware-requires-trailer\n"
        "                     refuse firmware uploads without the DE AD BE EF trailer\n"
        "  --fault MODE       misbehave on every answer: none, silent, short,\n"
        "                     wrong-type, huge-length, drop (default none)\n"
        "  --control          read commands on standard input while running:\n"
        "                     \"fault MODE\" switches the fault mode; the end of\n"
        "                     the input stops the emulator\n"
        "  --stamp MARK       put MARK into header value 7 of every profile and a\n"
        "                     checksum of the rest into header value 8 (see below)\n"
        "  --discovery        also answer UDP discovery and apply cable-id and IP\n"
        "                     configuration messages (UDP port %d)\n"
        "  --discovery-bind ADDR  address of the UDP socket (default 0.0.0.0, which\n"
        "                     is needed to receive broadcasts)\n"
        "  --discovery-port N UDP port (default %d)\n"
        "  --replay FILE      answer as the scanner of a captured session did (pcap or\n"
        "                     pcapng): each command gets the answers recorded for it\n"
        "  --replay-session N which TCP session of the capture to replay (default 1)\n"
        "  --seconds N        stop after N seconds (default: run until killed)\n"
        "  --verbose          log every command\n"
        "  --help             this text\n"
        "\n"
        "A discovery reply carries one ScannerInfo record. The library reads only its\n"
        "identity; the rest is the scanner's own. As an example of what a scanner may\n"
        "send, the emulator fills it with:\n"
        "  value1    the serial number (--serial)\n"
        "  value2    the cable id (--cable-id, or as a configuration message set it)\n"
        "  value3    the IP mode: 0 static, 1 base address (0 until configured)\n"
        "  value4    its IPv4 address in network byte order: the --bind address\n"
        "            (--discovery-bind when --bind is 0.0.0.0), or the configured one\n"
        "  identity  the serial number\n"
        "  value6    the number of lasers (--lasers)\n"
        "  value7    1, the version of this layout\n"
        "  value8    the second address of the IP configuration, network byte order\n"
        "            (255.255.255.0 until configured)\n"
        "  block     the text \"kelo-scanner-emulator\", zero bytes after it\n"
        "With --bind naming one address, the replies come from that address, as a\n"
        "scanner answers from its own: the address a discovery reports is the one\n"
        "to connect to.\n"
        "\n"
        "Every profile carries the profiles handed out before it in header value 1\n"
        "and the serial number in header value 5. With --stamp, header value 8 is\n"
        "the sum, modulo 2^32, over header values 0 to 7, the point count and the\n"
        "point values, word i (from 0, in that order) taken as f(w XOR i*0x9E3779B9),\n"
        "f the 32-bit finaliser of MurmurHash3.\n",
        KELO_SCANNER_TCP_PORT, KELO_SCANNER_TCP_PORT, KELO_SCANNER_UDP_PORT, KELO_SCANNER_UDP_PORT);
}

bool needValue(int i, int argc, const char* option) {
    if (i + 1 < argc) return true;
    std::fprintf(stderr, "kelo-scanner-emulator: %s needs a value\n", option);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    kelo::emu::ScannerConfig config;
    std::string bind = "0.0.0.0";
    long port = KELO_SCANNER_TCP_PORT;
    long seconds = -1;
    kelo::emu::Fault fault = kelo::emu::Fault::None;
    bool discovery = false;
    bool control = false;
    long imageWidth = 640;
    long imageHeight = 480;
    bool firmwareRequiresTrailer = false;
    std::string discoveryBind = "0.0.0.0";
    long discoveryPort = KELO_SCANNER_UDP_PORT;
    std::string replayFile;
    long replaySession = 1;

    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        auto number = [&](long* out) {
            if (!needValue(i, argc, option)) return false;
            char* end = nullptr;
            *out = std::strtol(argv[++i], &end, 0);
            if (*end != '\0') {
                std::fprintf(stderr, "kelo-scanner-emulator: %s: not a number: %s\n", option, argv[i]);
                return false;
            }
            return true;
        };
        long value = 0;
        if (!std::strcmp(option, "--help") || !std::strcmp(option, "-h")) {
            printHelp();
            return 0;
        } else if (!std::strcmp(option, "--bind")) {
            if (!needValue(i, argc, option)) return 2;
            bind = argv[++i];
        } else if (!std::strcmp(option, "--port")) {
            if (!number(&port) || port <= 0 || port > 65535) return 2;
        } else if (!std::strcmp(option, "--serial")) {
            if (!number(&value)) return 2;
            config.serialNumber = static_cast<std::uint32_t>(value);
        } else if (!std::strcmp(option, "--cable-id")) {
            if (!number(&value)) return 2;
            config.cableId = static_cast<std::uint32_t>(value);
        } else if (!std::strcmp(option, "--lasers")) {
            if (!number(&value) || value < 1 || value > 16) return 2;
            config.laserCount = static_cast<int>(value);
        } else if (!std::strcmp(option, "--points")) {
            if (!number(&value) || value < 0 || value > 486) return 2;
            config.pointsPerProfile = static_cast<int>(value);
        } else if (!std::strcmp(option, "--rate")) {
            if (!needValue(i, argc, option)) return 2;
            config.profileRateHz = std::atof(argv[++i]);
            if (config.profileRateHz <= 0) return 2;
        } else if (!std::strcmp(option, "--seed")) {
            if (!number(&value)) return 2;
            config.noiseSeed = static_cast<unsigned>(value);
        } else if (!std::strcmp(option, "--image-width")) {
            if (!number(&imageWidth) || imageWidth < 1 || imageWidth > 8192) return 2;
        } else if (!std::strcmp(option, "--image-height")) {
            if (!number(&imageHeight) || imageHeight < 1 || imageHeight > 8192) return 2;
        } else if (!std::strcmp(option, "--firmware-requires-trailer")) {
            firmwareRequiresTrailer = true;
        } else if (!std::strcmp(option, "--fault")) {
            if (!needValue(i, argc, option)) return 2;
            if (!kelo::emu::parseFault(argv[++i], &fault)) {
                std::fprintf(stderr, "kelo-scanner-emulator: unknown fault mode %s\n", argv[i]);
                return 2;
            }
        } else if (!std::strcmp(option, "--control")) {
            control = true;
        } else if (!std::strcmp(option, "--stamp")) {
            if (!number(&value)) return 2;
            config.stamped = true;
            config.stampMark = static_cast<std::uint32_t>(value);
        } else if (!std::strcmp(option, "--discovery")) {
            discovery = true;
        } else if (!std::strcmp(option, "--discovery-bind")) {
            if (!needValue(i, argc, option)) return 2;
            discoveryBind = argv[++i];
        } else if (!std::strcmp(option, "--discovery-port")) {
            if (!number(&discoveryPort) || discoveryPort <= 0 || discoveryPort > 65535) return 2;
        } else if (!std::strcmp(option, "--replay")) {
            if (!needValue(i, argc, option)) return 2;
            replayFile = argv[++i];
        } else if (!std::strcmp(option, "--replay-session")) {
            if (!number(&replaySession) || replaySession < 1) return 2;
        } else if (!std::strcmp(option, "--seconds")) {
            if (!number(&seconds)) return 2;
        } else if (!std::strcmp(option, "--verbose")) {
            config.verbose = true;
        } else {
            std::fprintf(stderr, "kelo-scanner-emulator: unknown option %s (try --help)\n", option);
            return 2;
        }
    }

#ifndef KELO_HAVE_REPLAY
    if (!replayFile.empty()) {
        std::fprintf(stderr,
                     "kelo-scanner-emulator: --replay needs libpcap, which this build lacks "
                     "(Windows builds, or libpcap-dev missing at build time)\n");
        return 2;
    }
#endif
    if (!kelo::net::startup()) {
        std::fprintf(stderr, "kelo-scanner-emulator: the socket layer did not start\n");
        return 1;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
#ifdef KELO_HAVE_REPLAY
    if (!replayFile.empty()) {
        kelo::replay::ReplayOptions replay;
        replay.file = replayFile;
        replay.session = static_cast<std::size_t>(replaySession);
        replay.bindAddress = bind;
        replay.port = static_cast<std::uint16_t>(port);
        replay.seconds = seconds;
        const int status = kelo::replay::runReplay(replay, gStop);
        kelo::net::cleanup();
        return status;
    }
#endif
    kelo::emu::Emulator emulator(config);
    emulator.setFault(fault);
    emulator.state<kelo::emu::CameraState>().width = static_cast<std::uint32_t>(imageWidth);
    emulator.state<kelo::emu::CameraState>().height = static_cast<std::uint32_t>(imageHeight);
    emulator.state<kelo::emu::FirmwareState>().requireTrailer = firmwareRequiresTrailer;
    if (!emulator.start(bind, static_cast<std::uint16_t>(port))) {
        std::fprintf(stderr, "kelo-scanner-emulator: cannot listen on %s:%ld\n", bind.c_str(), port);
        return 1;
    }
    if (discovery &&
        !emulator.startDiscovery(discoveryBind, static_cast<std::uint16_t>(discoveryPort))) {
        std::fprintf(stderr, "kelo-scanner-emulator: cannot answer discovery on %s:%ld\n",
                     discoveryBind.c_str(), discoveryPort);
        emulator.stop();
        return 1;
    }
    if (discovery) {
        std::printf("kelo-scanner-emulator: answering discovery on %s:%ld\n", discoveryBind.c_str(),
                    discoveryPort);
    }
    std::printf("kelo-scanner-emulator: serial %u, %d laser(s), listening on %s:%ld (fault: %s)\n",
                config.serialNumber, config.laserCount, bind.c_str(), port,
                kelo::emu::faultName(fault));
    std::fflush(stdout);
    if (control) std::thread(readControl).detach();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!gStop && (seconds < 0 || std::chrono::steady_clock::now() < end)) {
        const int asked = gAskedFault.exchange(-1);
        if (asked >= 0) emulator.setFault(static_cast<kelo::emu::Fault>(asked));
        std::this_thread::sleep_for(kTick);
    }
    emulator.stop();
    kelo::net::cleanup();
    return 0;
}
