// kelo grab HOST --count N: synchronised acquisition of profile batches.
#include <csignal>
#include <cstdio>
#include <deque>
#include <memory>
#include <new>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "profile_output.h"
#include "profile_plot.h"
#include "progress.h"
#include "session.h"

namespace kelo::cli {
namespace {

const char* const kName = "grab";
// Batch requests kept in flight, so that the scanner is never left waiting
// for the next request while an answer is being written out.
constexpr std::size_t kRequestsInFlight = 2;
// A scanner that answers this many requests in a row with empty batches
// is not delivering; give up rather than ask for ever.
constexpr int kMaxEmptyBatches = 1000;

volatile std::sig_atomic_t gInterrupted = 0;
void onInterrupt(int) { gInterrupted = 1; }

enum class Mode { Time, Encoder, Pulse };

struct GrabOptions {
    std::uint64_t count = 0;
    Mode mode = Mode::Time;
    std::uint32_t batch = 100;
    std::int32_t timeoutMs = KELO_DEFAULT_TIMEOUT_MS;
    bool setEncoder = false;
    std::uint32_t encoder = 0;
    std::int32_t pulseSetting1 = 10000;
    std::uint32_t pulseSetting2 = 0;
    std::string output = "-";
    ProfileFormat format = ProfileFormat::Csv;
    bool large = false;
    std::string plot;
    PlotOptions plotOptions;
    bool quiet = false;
};

void printHelp() {
    std::printf(
        "usage: kelo grab HOST --count N [--mode time|encoder|pulse] [OPTIONS]\n"
        "\n"
        "Puts the scanner into time, encoder or pulse synchronisation, collects N\n"
        "profiles in batches and leaves synchronisation again. Profiles go to\n"
        "standard output (or --output FILE) as CSV, one line per point:\n"
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
        "  --encoder V        encoder mode: set the encoder to V before starting\n"
        "  --pulse-period P   pulse mode: pulse setting 1, %d to %d (default 10000)\n"
        "  --pulse-setting S  pulse mode: pulse setting 2, 0 to %u (default 0)\n"
        "  --quiet            no progress line and no summary\n"
        "  --help             this text\n",
        static_cast<unsigned>(sizeof(ProfileRecord)),
        static_cast<unsigned>(sizeof(LargeProfileRecord)), KELO_DEFAULT_TIMEOUT_MS,
        KELO_LARGE_PROFILE_MAX_POINTS, KELO_PULSE_SETTING1_MIN, KELO_PULSE_SETTING1_MAX,
        KELO_PULSE_SETTING2_MAX);
}

bool parseOptions(CommandLine& args, GrabOptions* o, std::string* error) {
    std::int64_t count = 0, batch = 0, timeout = 0, encoder = 0, p1 = 0, p2 = 0;
    if (!args.has("count")) {
        *error = "--count is required";
        return false;
    }
    if (!args.number("count", 0, 1, 1000000000, &count) ||
        !args.number("batch", 100, 1, 100000, &batch) ||
        !args.number("timeout", KELO_DEFAULT_TIMEOUT_MS, 1, 3600000, &timeout) ||
        !args.number("encoder", 0, 0, 0xFFFFFFFF, &encoder) ||
        !args.number("pulse-period", 10000, KELO_PULSE_SETTING1_MIN, KELO_PULSE_SETTING1_MAX, &p1) ||
        !args.number("pulse-setting", 0, 0, KELO_PULSE_SETTING2_MAX, &p2)) {
        *error = args.error();
        return false;
    }
    o->count = static_cast<std::uint64_t>(count);
    o->batch = static_cast<std::uint32_t>(batch);
    o->timeoutMs = static_cast<std::int32_t>(timeout);
    o->setEncoder = args.has("encoder");
    o->encoder = static_cast<std::uint32_t>(encoder);
    o->pulseSetting1 = static_cast<std::int32_t>(p1);
    o->pulseSetting2 = static_cast<std::uint32_t>(p2);

    const std::string mode = args.value("mode", "time");
    if (mode == "time") {
        o->mode = Mode::Time;
    } else if (mode == "encoder") {
        o->mode = Mode::Encoder;
    } else if (mode == "pulse") {
        o->mode = Mode::Pulse;
    } else {
        *error = "--mode: expected time, encoder or pulse, got '" + mode + "'";
        return false;
    }
    if (o->setEncoder && o->mode != Mode::Encoder) {
        *error = "--encoder only applies to --mode encoder";
        return false;
    }
    if ((args.has("pulse-period") || args.has("pulse-setting")) && o->mode != Mode::Pulse) {
        *error = "--pulse-period and --pulse-setting only apply to --mode pulse";
        return false;
    }

    const std::string axes = args.value("plot-axes", "0,1");
    if (axes.size() != 3 || axes[1] != ',' || axes[0] < '0' || axes[0] > '2' || axes[2] < '0' ||
        axes[2] > '2') {
        *error = "--plot-axes: expected two of 0, 1, 2 as X,Y, got '" + axes + "'";
        return false;
    }
    o->plotOptions.xValue = axes[0] - '0';
    o->plotOptions.yValue = axes[2] - '0';
    o->output = args.value("output", "-");
    o->format = args.has("binary") ? ProfileFormat::Binary : ProfileFormat::Csv;
    o->large = args.has("large");
    o->plot = args.value("plot");
    o->quiet = args.has("quiet");
    return true;
}

const char* modeName(Mode mode) {
    switch (mode) {
        case Mode::Time: return "time";
        case Mode::Encoder: return "encoder";
        case Mode::Pulse: return "pulse";
    }
    return "?";
}

int32_t readBatch(ScannerConnection* h, ProfileRecord* records, std::uint32_t capacity,
                  std::int32_t timeoutMs) {
    return lpReadMultipleProfilesTimeout(h, records, capacity, timeoutMs);
}
int32_t readBatch(ScannerConnection* h, LargeProfileRecord* records, std::uint32_t capacity,
                  std::int32_t timeoutMs) {
    return lpReadMultipleLargeProfiles(h, records, capacity, timeoutMs);
}

// Enters the mode; on failure reports and gives false with nothing to undo.
bool enterSync(const Scanner& scanner, const GrabOptions& o) {
    ScannerConnection* h = scanner.handle();
    int32_t result = KELO_OK;
    switch (o.mode) {
        case Mode::Time:
            result = lpEnterTimeSyncMode(h);
            break;
        case Mode::Encoder:
            if (o.setEncoder && (result = lpSetEncoderValue32(h, o.encoder)) != KELO_OK) {
                reportResult(kName, "encoder value", result);
                return false;
            }
            result = lpEnterEncoderSyncMode(h);
            break;
        case Mode::Pulse:
            result = lpEnterPulseSyncMode(h);
            if (result != KELO_OK) break;
            result = lpStartPulseMaster(h, o.pulseSetting1, o.pulseSetting2);
            if (result != KELO_OK) {
                reportResult(kName, "pulse generator start", result);
                lpExitSyncMode(h);
                return false;
            }
            break;
    }
    if (result != KELO_OK) {
        reportResult(kName, std::string("entering ") + modeName(o.mode) + " sync", result);
        return false;
    }
    return true;
}

// Stops the pulses and leaves sync mode, which also drains the answers of
// requests still in flight.
bool leaveSync(const Scanner& scanner, const GrabOptions& o) {
    ScannerConnection* h = scanner.handle();
    bool ok = true;
    if (o.mode == Mode::Pulse) {
        const int32_t result = lpStopPulses(h);
        if (result != KELO_OK) {
            reportResult(kName, "pulse generator stop", result);
            ok = false;
        }
    }
    const int32_t result = lpExitSyncMode(h);
    if (result != KELO_OK) {
        reportResult(kName, "leaving sync mode", result);
        ok = false;
    }
    return ok;
}

template <typename Record>
int acquire(const Scanner& scanner, const GrabOptions& o, ProfileOutput& output) {
    std::unique_ptr<Record[]> records(new (std::nothrow) Record[o.batch]);
    std::unique_ptr<Record> last(new (std::nothrow) Record());
    if (!records || !last) {
        return report(kName, "out of memory for " + std::to_string(o.batch) +
                                 " records; use a smaller --batch");
    }
    ScannerConnection* h = scanner.handle();
    if (!enterSync(scanner, o)) return kExitFailed;

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
            if (!output.write(collected, ProfileView::of(records[i]))) {
                failure = "cannot write the profiles to " + o.output;
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
    ok = leaveSync(scanner, o) && ok;
    if (!output.close()) {
        report(kName, "cannot write the profiles to " + o.output);
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
                     progress.elapsedSeconds(), modeName(o.mode));
    }
    return ok ? kExitOk : kExitFailed;
}

}  // namespace

int runGrab(int argc, char** argv) {
    CommandLine args;
    if (!args.parse(argc, argv,
                    {"count", "mode", "batch", "timeout", "output", "plot", "plot-axes",
                     "encoder", "pulse-period", "pulse-setting"},
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

    ProfileOutput output;
    if (!output.open(options.output, options.format)) {
        return report(kName, "cannot create '" + options.output + "'");
    }
    Scanner scanner(kName, args.positional()[0]);
    if (!scanner.open()) return kExitFailed;
    gInterrupted = 0;
    std::signal(SIGINT, onInterrupt);
    return options.large ? acquire<LargeProfileRecord>(scanner, options, output)
                         : acquire<ProfileRecord>(scanner, options, output);
}

}  // namespace kelo::cli
