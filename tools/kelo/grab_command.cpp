// SPDX-License-Identifier: Apache-2.0
// kelo grab HOST... --count N: synchronised acquisition of profile batches,
// from one scanner or from several as a group.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "command_line.h"
#include "commands.h"
#include "grab_runs.h"
#include "interrupts.h"

namespace kelo::cli {
namespace {

const char* const kName = "grab";
// The header value in which the emulator reports its encoder count.
constexpr int kEmulatorEncoderWord = 2;

void printHelp() {
    std::printf(
        "usage: kelo grab HOST... --count N [--mode time|encoder|pulse] [OPTIONS]\n"
        "\n"
        "Puts the scanner into time, encoder or pulse synchronisation, collects N\n"
        "profiles in batches and leaves synchronisation again. Profiles go to\n"
        "standard output (or --output FILE; with --ply or --heightmap only where\n"
        "--output says) as CSV, one line per point:\n"
        "  profile,point,v0,v1,v2\n"
        "with the three values of each point as the scanner sends them (the\n"
        "emulator's are x and z in micrometres and the intensity). --binary writes\n"
        "the records instead, back to back in host byte order, %u bytes each\n"
        "(%u with --large), as the library's ProfileRecord / LargeProfileRecord.\n"
        "\n"
        "Several scanners (HOST words, --serial and --cable, each repeatable) are\n"
        "collected as a group: each round takes --batch profiles from every one,\n"
        "within --timeout, and each scanner's go to files of its own, FILE-1.EXT,\n"
        "FILE-2.EXT, ... in the order the command line names them (for --output,\n"
        "which is then required, --ply, --heightmap and --plot).\n"
        "\n"
        "A progress line appears on standard error for runs longer than a second,\n"
        "and a summary at the end. Ctrl-C stops within a second, keeps what was\n"
        "written, says \"interrupted\" and tries for at most a second more to leave\n"
        "sync mode (exit status 130); a second Ctrl-C ends at once.\n"
        "\n"
        "options:\n"
        "  --count N          profiles to collect from each scanner (required)\n"
        "  --mode M           time (default), encoder or pulse\n"
        "  --batch N          profiles asked for per request (default 100)\n"
        "  --timeout MS       longest wait for each piece of an answer; with several\n"
        "                     scanners, for each round of the group (default %d)\n"
        "  --output FILE      where the profiles go (default -, standard output)\n"
        "  --binary           write raw records instead of CSV\n"
        "  --large            read large records (up to %d points per profile; one\n"
        "                     scanner only)\n"
        "  --plot FILE.svg    draw the points of the last profile into an SVG file\n"
        "  --plot-axes X,Y    point values across and up in the plot (default 0,1)\n"
        "  --ply FILE.ply     write a point cloud, binary little-endian PLY: x across\n"
        "                     (value 0), y along the motion, z height (value 1) as\n"
        "                     doubles, intensity (value 2) as int\n"
        "  --step S           y = S times the profile's number from 0 (default 1)\n"
        "  --y-from-header K  y = S times header value K (0 to 8, signed) instead; the\n"
        "                     emulator puts its encoder count in header value %d\n"
        "  --heightmap FILE.pgm  write a 16-bit PGM height map: a row per profile, a\n"
        "                     column per point, 0 for no point, 1 to 65535 the lowest to\n"
        "                     the highest height (value 1) of the run\n"
        "  --encoder V        encoder mode: set the encoder to V before starting\n"
        "  --pulse-period P   pulse mode: pulse setting 1, %d to %d (default 10000)\n"
        "  --pulse-setting S  pulse mode: pulse setting 2, 0 to %u (default 0)\n"
        "  --quiet            no progress line and no summary\n"
        "  --help             this text\n",
        static_cast<unsigned>(sizeof(ProfileRecord)), static_cast<unsigned>(sizeof(LargeProfileRecord)),
        KELO_DEFAULT_TIMEOUT_MS, KELO_LARGE_PROFILE_MAX_POINTS, kEmulatorEncoderWord, KELO_PULSE_SETTING1_MIN,
        KELO_PULSE_SETTING1_MAX, KELO_PULSE_SETTING2_MAX);
    printTargetHelp();
}

bool parseStep(const std::string& text, double* out) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value == 0) return false;
    *out = value;
    return true;
}

bool parseOptions(CommandLine& args, std::size_t scanners, GrabOptions* o, std::string* error) {
    std::int64_t count = 0, batch = 0, timeout = 0, word = 0;
    if (!args.has("count")) {
        *error = "--count is required";
        return false;
    }
    if (!args.number("count", 0, 1, 1000000000, &count) || !args.number("batch", 100, 1, 100000, &batch) ||
        !args.number("timeout", KELO_DEFAULT_TIMEOUT_MS, 1, 3600000, &timeout) ||
        !args.number("y-from-header", -1, 0, KELO_PROFILE_HEADER_VALUES - 1, &word)) {
        *error = args.error();
        return false;
    }
    if (!parseSyncSettings(args, &o->sync, error)) return false;
    o->count = static_cast<std::uint64_t>(count);
    o->batch = static_cast<std::uint32_t>(batch);
    o->timeoutMs = static_cast<std::int32_t>(timeout);

    const std::string axes = args.value("plot-axes", "0,1");
    if (axes.size() != 3 || axes[1] != ',' || axes[0] < '0' || axes[0] > '2' || axes[2] < '0' || axes[2] > '2') {
        *error = "--plot-axes: expected two of 0, 1, 2 as X,Y, got '" + axes + "'";
        return false;
    }
    o->plotOptions.xValue = axes[0] - '0';
    o->plotOptions.yValue = axes[2] - '0';
    o->ply = args.value("ply");
    o->heightMap = args.value("heightmap");
    o->along.headerWord = static_cast<int>(word);
    if (args.has("step") && !parseStep(args.value("step"), &o->along.step)) {
        *error = "--step: expected a number other than 0, got '" + args.value("step") + "'";
        return false;
    }
    if ((args.has("step") || args.has("y-from-header")) && o->ply.empty()) {
        *error = "--step and --y-from-header only apply to --ply";
        return false;
    }
    const bool filesOnly = !o->ply.empty() || !o->heightMap.empty();
    o->output = args.value("output", filesOnly || scanners > 1 ? "" : "-");
    o->format = args.has("binary") ? ProfileFormat::Binary : ProfileFormat::Csv;
    o->large = args.has("large");
    o->plot = args.value("plot");
    o->quiet = args.has("quiet");
    if (scanners > 1 && (o->large || o->output == "-" || (o->output.empty() && !filesOnly))) {
        *error = o->large ? "--large takes one scanner: a group collects standard records"
                          : "several scanners need --output FILE (one file each), --ply or --heightmap";
        return false;
    }
    return true;
}

}  // namespace

int runGrab(int argc, char** argv) {
    CommandLine args;
    if (!args.parse(argc, argv,
                    withTargetOptions({"count", "mode", "batch", "timeout", "output", "plot", "plot-axes", "encoder",
                                       "pulse-period", "pulse-setting", "ply", "step", "y-from-header",
                                       "heightmap"}),
                    {"binary", "large", "quiet"})) {
        return usageError(kName, args.error());
    }
    if (args.helpWanted()) {
        printHelp();
        return kExitOk;
    }
    std::vector<std::string> words = args.positional();
    Targets targets;
    GrabOptions options;
    std::string error;
    if (!parseTargets(args, &words, 0, true, &targets, &error) ||
        !parseOptions(args, targets.scanners.size(), &options, &error)) {
        return usageError(kName, error);
    }

    const std::size_t count = targets.scanners.size();
    std::vector<std::unique_ptr<Scanner>> scanners;
    for (const ScannerTarget& target : targets.scanners) {
        scanners.push_back(std::make_unique<Scanner>(kName, target, targets.connectTimeoutMs));
        if (!scanners.back()->open()) return kExitFailed;
    }
    // From here on Ctrl-C lets the run close its files and leave sync mode.
    stopsByItself();
    std::vector<std::unique_ptr<GrabFiles>> files;
    for (std::size_t i = 0; i < count; ++i) {
        files.push_back(std::make_unique<GrabFiles>(options, i, count));
        const std::string uncreated = files.back()->open();
        if (!uncreated.empty()) return report(kName, "cannot create '" + uncreated + "'");
    }
    return count == 1 ? grabOne(*scanners[0], options, *files[0]) : grabGroup(scanners, options, files);
}

}  // namespace kelo::cli
