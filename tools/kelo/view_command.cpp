// SPDX-License-Identifier: Apache-2.0
// kelo view HOST: the scanner live in a web browser.
#include <atomic>
#include <csignal>
#include <cstdio>

#include "command_line.h"
#include "commands.h"
#include "live_feed.h"
#include "session.h"
#include "sync_session.h"
#include "view_acquisition.h"
#include "view_server.h"

namespace kelo::cli {
namespace {

const char* const kName = "view";

std::atomic<bool> gStop{false};
void onStop(int) { gStop = true; }

void printHelp() {
    std::printf(
        "usage: kelo view HOST [--mode time|encoder|pulse] [--port 8080] [--bind 127.0.0.1]\n"
        "                      [OPTIONS]\n"
        "\n"
        "Shows what the scanner sees, live, in a web browser. Puts the scanner into\n"
        "time, encoder or pulse synchronisation, reads profile batches and serves a\n"
        "page at http://BIND:PORT/ with the latest profile (value 0 across, value 1\n"
        "up, coloured by value 2), the profile rate and count, a scrolling height map\n"
        "of the last profiles, the status values, and a button that takes a camera\n"
        "image (the viewer leaves sync mode for it and goes back). When the scanner\n"
        "stops answering the page says so, and the viewer reconnects every second.\n"
        "The page needs nothing but kelo view. Ctrl-C leaves sync mode and closes\n"
        "the connection.\n"
        "\n"
        "options:\n"
        "  --mode M           time (default), encoder or pulse\n"
        "  --encoder V        encoder mode: set the encoder to V before starting\n"
        "  --pulse-period P   pulse mode: pulse setting 1, %d to %d (default 10000)\n"
        "  --pulse-setting S  pulse mode: pulse setting 2, 0 to %u (default 0)\n"
        "  --port N           HTTP port (default 8080; 0 picks a free one)\n"
        "  --bind ADDR        address the page is served on (default 127.0.0.1: this\n"
        "                     machine only; 0.0.0.0 shows it to the whole network)\n"
        "  --batch N          profiles asked for per request (default 50)\n"
        "  --timeout MS       longest wait for each piece of a batch before the\n"
        "                     scanner counts as silent (default 2000)\n"
        "  --unit NAME        unit of the point values on the axes (default \u00b5m,\n"
        "                     the emulator's)\n"
        "  --help             this text\n",
        KELO_PULSE_SETTING1_MIN, KELO_PULSE_SETTING1_MAX, KELO_PULSE_SETTING2_MAX);
}

}  // namespace

int runView(int argc, char** argv) {
    CommandLine args;
    if (!args.parse(argc, argv,
                    {"mode", "encoder", "pulse-period", "pulse-setting", "port", "bind", "batch",
                     "timeout", "unit"},
                    {})) {
        return usageError(kName, args.error());
    }
    if (args.helpWanted()) {
        printHelp();
        return kExitOk;
    }
    if (args.positional().size() != 1) return usageError(kName, "expected one HOST");
    AcquisitionSettings settings;
    settings.host = args.positional()[0];
    std::string error;
    std::int64_t port = 0, batch = 0, timeout = 0;
    if (!parseSyncSettings(args, &settings.sync, &error)) return usageError(kName, error);
    if (!args.number("port", 8080, 0, 65535, &port) ||
        !args.number("batch", 50, 1, 10000, &batch) ||
        !args.number("timeout", 2000, 1, 3600000, &timeout)) {
        return usageError(kName, args.error());
    }
    settings.batch = static_cast<std::uint32_t>(batch);
    settings.timeoutMs = static_cast<std::int32_t>(timeout);
    const std::string address = args.value("bind", "127.0.0.1");

    LiveFeed feed({settings.host, syncKindName(settings.sync.kind), args.value("unit", "\u00b5m")});
    ViewServer server(feed);
    if (!server.start(address, static_cast<int>(port))) {
        return report(kName, "cannot serve on " + address + ":" + std::to_string(port) +
                                 " (address not on this machine, or port in use)");
    }
    gStop = false;
    std::signal(SIGINT, onStop);
    std::signal(SIGTERM, onStop);
    std::printf("kelo view: %s in %s sync at http://%s:%d/ (Ctrl-C stops)\n",
                settings.host.c_str(), syncKindName(settings.sync.kind), address.c_str(),
                server.port());
    std::fflush(stdout);

    const std::string failure = ViewAcquisition(settings, feed, gStop).run();
    feed.close();
    server.stop();
    if (!failure.empty()) return report(kName, failure);
    std::printf("kelo view: left sync mode and closed the connection to %s\n",
                settings.host.c_str());
    return kExitOk;
}

}  // namespace kelo::cli
