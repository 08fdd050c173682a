// SPDX-License-Identifier: Apache-2.0
// kelo view HOST...: scanners live in a web browser, one panel each.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "command_line.h"
#include "commands.h"
#include "interrupts.h"
#include "live_feed.h"
#include "session.h"
#include "sync_session.h"
#include "view_acquisition.h"
#include "view_server.h"

namespace kelo::cli {
namespace {

const char* const kName = "view";
constexpr auto kStopPoll = std::chrono::milliseconds(50);

void printHelp() {
    std::printf(
        "usage: kelo view HOST... [--mode time|encoder|pulse] [--port 8080] [--bind 127.0.0.1]\n"
        "                         [OPTIONS]\n"
        "\n"
        "Shows what the scanners see, live, in a web browser. Puts each scanner\n"
        "(HOST words, --serial and --cable, each repeatable) into time, encoder or\n"
        "pulse synchronisation, reads profile batches and serves a page at\n"
        "http://BIND:PORT/ with a panel per scanner: the latest profile (value 0\n"
        "across, value 1 up, coloured by value 2), the scanner's profile rate and\n"
        "count, a scrolling height map of its last profiles, its status values, and\n"
        "a button that takes a camera image (the viewer leaves sync mode for it and\n"
        "goes back). When a scanner stops answering its panel says so, and the\n"
        "viewer reconnects every second. The terminal says what happens to each\n"
        "connection: connected, cannot connect, connection lost, reconnected. The\n"
        "page needs nothing but kelo view. A port in use is refused (exit status 1).\n"
        "Ctrl-C leaves sync mode (for at most a second) and closes the connections.\n"
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
    printTargetHelp();
}

}  // namespace

int runView(int argc, char** argv) {
    CommandLine args;
    if (!args.parse(argc, argv,
                    withTargetOptions({"mode", "encoder", "pulse-period", "pulse-setting", "port", "bind", "batch",
                                       "timeout", "unit"}),
                    {})) {
        return usageError(kName, args.error());
    }
    if (args.helpWanted()) {
        printHelp();
        return kExitOk;
    }
    std::vector<std::string> words = args.positional();
    Targets targets;
    AcquisitionSettings settings;
    std::string error;
    if (!parseTargets(args, &words, 0, true, &targets, &error) || !parseSyncSettings(args, &settings.sync, &error)) {
        return usageError(kName, error);
    }
    std::int64_t port = 0, batch = 0, timeout = 0;
    if (!args.number("port", 8080, 0, 65535, &port) || !args.number("batch", 50, 1, 10000, &batch) ||
        !args.number("timeout", 2000, 1, 3600000, &timeout)) {
        return usageError(kName, args.error());
    }
    settings.batch = static_cast<std::uint32_t>(batch);
    settings.timeoutMs = static_cast<std::int32_t>(timeout);
    settings.connectTimeoutMs = targets.connectTimeoutMs;
    const std::string address = args.value("bind", "127.0.0.1");

    std::vector<FeedSource> sources;
    std::string names;
    for (const ScannerTarget& target : targets.scanners) {
        sources.push_back({target.name(), syncKindName(settings.sync.kind), args.value("unit", "\u00b5m")});
        names += (names.empty() ? "" : ", ") + target.name();
    }
    LiveFeed feed(sources);
    ViewServer server(feed);
    std::string failure;
    if (!server.start(address, static_cast<int>(port), &failure)) {
        return report(kName, "cannot serve on " + address + ":" + std::to_string(port) + ": " + failure);
    }
    stopsByItself();
    std::printf("kelo view: page at http://%s:%d/ for %s (Ctrl-C stops)\n", address.c_str(), server.port(),
                names.c_str());
    std::fflush(stdout);

    std::vector<std::unique_ptr<ViewAcquisition>> acquisitions;
    for (std::size_t i = 0; i < targets.scanners.size(); ++i) {
        settings.target = targets.scanners[i];
        acquisitions.push_back(std::make_unique<ViewAcquisition>(settings, i, feed));
        acquisitions.back()->start();
    }
    while (!interrupted()) std::this_thread::sleep_for(kStopPoll);

    const auto stopBy = ViewAcquisition::Clock::now() + kStopWithin;
    bool ended = true, clean = true;
    for (const auto& acquisition : acquisitions) {
        if (!acquisition->finish(stopBy)) ended = false;
        else clean = acquisition->leftCleanly() && clean;
    }
    feed.close();
    server.stop();
    if (!ended) {
        // A thread is still inside the library, waiting for its scanner.
        std::fflush(nullptr);
        std::_Exit(kExitFailed);
    }
    return clean ? kExitOk : kExitFailed;
}

}  // namespace kelo::cli
