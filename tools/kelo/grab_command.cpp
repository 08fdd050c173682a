// SPDX-License-Identifier: Apache-2.0
// kelo grab HOST --count N: synchronised acquisition of profile batches.
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <deque>
#include <memory>
#include <new>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "height_map_writer.h"
#include "point_cloud_writer.h"
#include "profile_output.h"
#include "profile_plot.h"
#include "progress.h"
#include "session.h"
#include "sync_session.h"

namespace kelo::cli {
namespace {

const char* const kName = "grab";
// Batch requests kept in flight, so that the scanner is never left waiting
// for the next request while an answer is being written out.
constexpr std::size_t kRequestsInFlight = 2;
// A scanner that answers this many requests in a row with empty batches
// is not delivering; give up rather than ask for ever.
constexpr int kMaxEmptyBatches = 1000;
// The header value in which the emulator reports its encoder count.
constexpr int kEmulatorEncoderWord = 2;

volatile std::sig_atomic_t gInterrupted = 0;
void onInterrupt(int) { gInterrupted = 1; }

struct GrabOptions {
    std::uint64_t count = 0;
    SyncSettings sync;
    std::uint32_t batch = 100;
    std::int32_t timeoutMs = KELO_DEFAULT_TIMEOUT_MS;
    std::string output;  // empty: no CSV or binary output
    ProfileFormat format = ProfileFormat::Csv;
    bool large = false;
    std::string plot;
    PlotOptions plotOptions;
    std::string ply;
    AlongAxis along;
    std::string heightMap;
    bool quiet = false;
};

void printHelp() {
    std::printf(
        "usage: kelo grab HOST --count N [--mode time|encoder|pulse] [OPTIONS]\n"
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
        "A progress line appears on standard error for runs longer than a second;\n"
        "Ctrl-C stops early and still leaves sync mode cleanly.\n"
        "\n"
        "options:\n"
        "  --count N          profiles to collect (required)\n"
        "  --mode M           time (default), encoder or pulse\n"
        "  --batch N          profiles asked for per request (default 100)\n"
        "  --timeout MS       longest wait for each piece of an answer (default %d)\n"
        "  --output FILE      where the profiles go (default -, standard output)\n"
        "  --binary           write raw records instead of CSV\n"
        "  --large            read large records (up to %d points per profile)\n"
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
        static_cast<unsigned>(sizeof(ProfileRecord)),
        static_cast<unsigned>(sizeof(LargeProfileRecord)), KELO_DEFAULT_TIMEOUT_MS,
        KELO_LARGE_PROFILE_MAX_POINTS, kEmulatorEncoderWord, KELO_PULSE_SETTING1_MIN, KELO_PULSE_SETTING1_MAX,
        KELO_PULSE_SETTING2_MAX);
}

bool parseStep(const std::string& text, double* out) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value == 0) return false;
    *out = value;
    return true;
}

bool parseOptions(CommandLine& args, GrabOptions* o, std::string* error) {
    std::int64_t count = 0, batch = 0, timeout = 0, word = 0;
    if (!args.has("count")) {
        *error = "--count is required";
        return false;
    }
    if (!args.number("count", 0, 1, 1000000000, &count) ||
        !args.number("batch", 100, 1, 100000, &batch) ||
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
    if (axes.size() != 3 || axes[1] != ',' || axes[0] < '0' || axes[0] > '2' || axes[2] < '0' ||
        axes[2] > '2') {
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
    o->output = args.value("output", filesOnly ? "" : "-");
    o->format = args.has("binary") ? ProfileFormat::Binary : ProfileFormat::Csv;
    o->large = args.has("large");
    o->plot = args.value("plot");
    o->quiet = args.has("quiet");
    return true;
}

int32_t readBatch(ScannerConnection* h, ProfileRecord* records, std::uint32_t capacity,
                  std::int32_t timeoutMs) {
    return lpReadMultipleProfilesTimeout(h, records, capacity, timeoutMs);
}
int32_t readBatch(ScannerConnection* h, LargeProfileRecord* records, std::uint32_t capacity,
                  std::int32_t timeoutMs) {
    return lpReadMultipleLargeProfiles(h, records, capacity, timeoutMs);
}

// Every file the profiles go to.
struct GrabFiles {
    ProfileOutput output;
    PointCloudWriter ply;
    HeightMapWriter heightMap;

    // Empty, or the file that cannot be created.
    std::string open(const GrabOptions& o) {
        if (!o.output.empty() && !output.open(o.output, o.format)) return o.output;
        if (!o.ply.empty() && !ply.open(o.ply, o.along)) return o.ply;
        if (!o.heightMap.empty() && !heightMap.open(o.heightMap)) return o.heightMap;
        return {};
    }
    // Empty, or the file that could not be written.
    std::string write(const GrabOptions& o, std::uint64_t index, const ProfileView& profile) {
        if (!o.output.empty() && !output.write(index, profile)) return o.output;
        if (!o.ply.empty() && !ply.write(index, profile)) return o.ply;
        if (!o.heightMap.empty() && !heightMap.write(profile)) return o.heightMap;
        return {};
    }
    // Finishes every file; the ones that failed, or empty.
    std::string close(const GrabOptions& o) {
        std::string failed;
        if (!o.output.empty() && !output.close()) failed += " " + o.output;
        if (!o.ply.empty() && !ply.close()) failed += " " + o.ply;
        if (!o.heightMap.empty() && !heightMap.close()) failed += " " + o.heightMap;
        return failed;
    }
};

template <typename Record>
int acquire(const Scanner& scanner, const GrabOptions& o, GrabFiles& files) {
    std::unique_ptr<Record[]> records(new (std::nothrow) Record[o.batch]);
    std::unique_ptr<Record> last(new (std::nothrow) Record());
    if (!records || !last) {
        return report(kName, "out of memory for " + std::to_string(o.batch) +
                                 " records; use a smaller --batch");
    }
    ScannerConnection* h = scanner.handle();
    const std::string entered = enterSync(h, o.sync);
    if (!entered.empty()) return report(kName, entered);

    Progress progress(o.count, !o.quiet);
    std::deque<std::uint32_t> inFlight;  // profiles asked for by each outstanding request
    std::uint64_t collected = 0, asked = 0;
    int emptyBatches = 0;
    bool haveLast = false;
    std::string failure;  // the first failure ends the loop
    while (failure.empty() && collected < o.count && !gInterrupted) {
        while (inFlight.size() < kRequestsInFlight && collected + asked < o.count) {
            const std::uint64_t missing = o.count - collected - asked;
            const auto want = static_cast<std::uint32_t>(missing < o.batch ? missing : o.batch);
            const int32_t sent = lpSendMultipleProfileRequest(h, want);
            if (sent != KELO_OK) {
                failure = "profile request: " + resultText(sent);
                break;
            }
            inFlight.push_back(want);
            asked += want;
        }
        if (!failure.empty() || inFlight.empty()) break;
        const std::uint32_t want = inFlight.front();
        inFlight.pop_front();
        asked -= want;
        const int32_t got = readBatch(h, records.get(), want, o.timeoutMs);
        if (got < 0) {
            failure = "profile batch: " + resultText(got);
            // A profile longer than its record is one cause of -1.
            if (got == KELO_ERROR_IO && sizeof(Record) == sizeof(ProfileRecord)) {
                failure += "; profiles of more than " + std::to_string(KELO_PROFILE_MAX_POINTS) +
                           " points need --large";
            }
            break;
        }
        if (got == 0) {
            if (++emptyBatches >= kMaxEmptyBatches) {
                failure = "the scanner answered " + std::to_string(kMaxEmptyBatches) +
                          " requests in a row without a profile";
            }
            continue;
        }
        emptyBatches = 0;
        for (int32_t i = 0; i < got && collected < o.count; ++i, ++collected) {
            const std::string unwritten = files.write(o, collected, ProfileView::of(records[i]));
            if (!unwritten.empty()) {
                failure = "cannot write to " + unwritten;
                break;
            }
        }
        *last = records[got - 1];
        haveLast = true;
        progress.update(collected);
    }
    progress.finish();
    if (gInterrupted && failure.empty()) failure = "interrupted";
    if (!failure.empty()) report(kName, failure);
    bool ok = failure.empty();
    const std::string left = leaveSync(h, o.sync);
    if (!left.empty()) {
        report(kName, left);
        ok = false;
    }
    const std::string unfinished = files.close(o);
    if (!unfinished.empty()) {
        report(kName, "cannot write to" + unfinished);
        ok = false;
    }

    if (!o.plot.empty()) {
        if (!haveLast) {
            report(kName, "no profile to plot");
            ok = false;
        } else {
            PlotOptions plot = o.plotOptions;
            plot.title = "kelo grab " + scanner.host() + ": profile " +
                         std::to_string(collected ? collected - 1 : 0) + ", " +
                         std::to_string(ProfileView::of(*last).pointCount) + " points";
            if (!writeProfileSvg(o.plot, ProfileView::of(*last), plot)) {
                report(kName, "cannot write the plot to " + o.plot);
                ok = false;
            }
        }
    }
    if (!o.quiet) {
        std::fprintf(stderr, "kelo grab: %llu profile(s) from %s in %.2f s (%s sync)\n",
                     static_cast<unsigned long long>(collected), scanner.host().c_str(),
                     progress.elapsedSeconds(), syncKindName(o.sync.kind));
        if (!o.ply.empty()) {
            std::fprintf(stderr, "kelo grab: %llu point(s) in %s\n",
                         static_cast<unsigned long long>(files.ply.points()), o.ply.c_str());
        }
        if (!o.heightMap.empty()) {
            std::fprintf(stderr, "kelo grab: %u x %llu height map in %s, heights %d to %d\n",
                         files.heightMap.width(),
                         static_cast<unsigned long long>(files.heightMap.rows()),
                         o.heightMap.c_str(), files.heightMap.lowest(), files.heightMap.highest());
        }
    }
    return ok ? kExitOk : kExitFailed;
}

}  // namespace

int runGrab(int argc, char** argv) {
    CommandLine args;
    if (!args.parse(argc, argv,
                    {"count", "mode", "batch", "timeout", "output", "plot", "plot-axes",
                     "encoder", "pulse-period", "pulse-setting", "ply", "step", "y-from-header",
                     "heightmap"},
                    {"binary", "large", "quiet"})) {
        return usageError(kName, args.error());
    }
    if (args.helpWanted()) {
        printHelp();
        return kExitOk;
    }
    if (args.positional().size() != 1) return usageError(kName, "expected one HOST");
    GrabOptions options;
    std::string error;
    if (!parseOptions(args, &options, &error)) return usageError(kName, error);

    GrabFiles files;
    const std::string uncreated = files.open(options);
    if (!uncreated.empty()) return report(kName, "cannot create '" + uncreated + "'");
    Scanner scanner(kName, args.positional()[0]);
    if (!scanner.open()) return kExitFailed;
    gInterrupted = 0;
    std::signal(SIGINT, onInterrupt);
    return options.large ? acquire<LargeProfileRecord>(scanner, options, files)
                         : acquire<ProfileRecord>(scanner, options, files);
}

}  // namespace kelo::cli
