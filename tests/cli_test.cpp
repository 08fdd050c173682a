// SPDX-License-Identifier: Apache-2.0
// The kelo command-line tool, run as a program against the in-process
// emulator: what it prints, the files it writes and the bytes it sends.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/command_codes.h"
#include "emulator/calibration_state.h"
#include "emulator/firmware_state.h"
#include "emulator/parameter_state.h"
#include "emulator/profile_generator.h"
#include "emulator/scan_image_state.h"
#include "emulator/status_state.h"
#include "support/emulator_fixture.h"
#include "support/g3_checks.h"
#include "support/tool_runner.h"

namespace kelo::test {
namespace {

namespace fs = std::filesystem;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class KeloCliTest : public EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
        if (!locateTool(&tool_)) GTEST_SKIP() << "the command-line tests run with the native build";
        ASSERT_TRUE(fs::exists(tool_)) << "kelo is not built at " << tool_;
        scratch_ = fs::temp_directory_path() / ("kelo_cli_" + address_);  // the address is this test's own
        fs::remove_all(scratch_);
        fs::create_directories(scratch_);
    }
    void TearDown() override {
        std::error_code ignored;
        if (!scratch_.empty()) fs::remove_all(scratch_, ignored);
        EmulatorTest::TearDown();
    }
    // The tool's last commands may still be in flight when it exits; the
    // emulator has handled them all once every connection was closed.
    ToolRun kelo(const std::string& arguments) { return settled(runTool(tool_, scratch_, arguments)); }
    ToolRun script(const std::string& text) { return settled(runScript(tool_, scratch_, text)); }
    ToolRun settled(ToolRun run) {
        for (int wait = 0; wait < 400 && emulator_.commandCount(kCmdClose) < emulator_.connectionsAccepted(); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return run;
    }
    std::string file(const std::string& name) const { return (scratch_ / name).string(); }
    std::string quoted(const std::string& name) const { return " '" + file(name) + "'"; }
    std::string read(const std::string& name) const { return readFile(file(name)); }

    // Batch requests answered with scripted profiles: profile i, counted over
    // the whole run, has 9 header values i * 10 + h and `points` points (i * 1000 + p, -p, 7),
    // `oddPoints` when i is odd and that is not 0.
    void scriptBatches(std::uint32_t points, std::uint32_t oddPoints = 0) {
        emulator_.overrideCommand(kCmdMultipleProfileRequest, [this, points, oddPoints](
                                                                  emu::Session& session, const emu::Command& c) {
            emu::Bytes batch = words({c.word(0)});
            for (std::uint32_t i = nextProfile_; nextProfile_ < i + c.word(0); ++nextProfile_) {
                const std::uint32_t n = nextProfile_ % 2 && oddPoints ? oddPoints : points;
                emu::Bytes profile;
                for (std::uint32_t h = 0; h < 9; ++h) emu::appendWord(profile, nextProfile_ * 10 + h);
                emu::appendWord(profile, n);
                for (std::uint32_t p = 0; p < n; ++p)
                    for (std::uint32_t v : {nextProfile_ * 1000 + p, 0u - p, 7u}) emu::appendWord(profile, v);
                const emu::Bytes answer = emu::answerBytes(kAnswerProfile, profile);
                batch.insert(batch.end(), answer.begin(), answer.end());
            }
            session.sendAnswer(kAnswerProfileBatch, batch);
        });
    }

    fs::path tool_, scratch_;
    std::uint32_t nextProfile_ = 0;
};

TEST_F(KeloCliTest, HelpAndRefusedCommandLines) {
    const std::string nobody = uniqueLoopbackAddress(), grab = "grab " + address_ + " --count 5 ";
    // `shown`: the start of stdout on success, else a part of stderr.
    struct Case { std::string arguments; int exitCode; std::string shown; };
    std::vector<Case> cases = {
        {"--help", 0, "usage: kelo COMMAND"},
        {"", 2, ""},
        {"frobnicate", 2, "unknown command 'frobnicate'"},
        {"grab " + address_, 2, "--count is required"},
        {"status " + nobody, 1, "cannot connect to " + nobody + ": socket error 111 (Connection refused)"},
        {"status " + kUnresolvableHost, 1, "cannot find " + kUnresolvableHost + ": "},
        {"grab " + address_ + " " + address_ + " --count 5", 2, "several scanners need --output FILE"},
        {"status --serial 7 " + address_, 2, "unexpected '" + address_ + "'"},
    };
    for (const std::string& refused : {grab + "--mode sideways", grab + "--mode pulse --pulse-period 999",
                                      grab + "--encoder 3", grab + "--ply a.ply --y-from-header 9",
                                      grab + "--ply a.ply --step 0", grab + "--step 2", "view " + address_ + " --port 65536",
                                      "view " + address_ + " --mode sideways", "firmware " + address_ + quoted("none.bin"),
                                      "params fetch " + address_ + " x", "status " + address_ + ":0",
                                      "status " + address_ + ":65536", "status " + address_ + " --connect-timeout 0",
                                      std::string("status --serial x"), std::string("view"), grab + address_ + " --large --output" + quoted("g")})
        cases.push_back({refused, 2, ""});
    for (const char* command : {"discover", "status", "params", "calib", "grab", "image", "firmware", "view"})
        cases.push_back({std::string(command) + " --help", 0, std::string("usage: kelo ") + command});
    // A kelo built without an HTTP library turns every view command line down alike.
    for (Case& c : cases)
        if (!KELO_TOOL_HAS_VIEW && c.arguments.rfind("view", 0) == 0) c = {c.arguments, 1, "built without the viewer"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ToolRun run = kelo(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        if (c.exitCode == 0) EXPECT_EQ(run.out.rfind(c.shown, 0), 0u) << run.out;
        else EXPECT_TRUE(has(run.err, c.shown)) << run.err;
    }
    EXPECT_EQ(emulator_.connectionsAccepted(), 0u);  // all refused before connecting
}

TEST_F(KeloCliTest, StatusListsEveryValueWithItsDescription) {
    emu::Emulator other;
    const std::string elsewhere = uniqueLoopbackAddress();
    ASSERT_TRUE(other.start(elsewhere, 24400));
    // Another port named with the host; --values-only leaves the descriptions out.
    for (const auto& [target, values] : {std::pair{address_, false}, {elsewhere + ":24400", true}}) {
        const ToolRun run = kelo("status " + target + (values ? " --values-only" : ""));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        std::string expected;
        const auto list = emu::statusList(target == address_ ? emulator_ : other);
        for (const auto& [key, value] : list) {
            char line[64];
            std::snprintf(line, sizeof line, "%u: %d (0x%08X)", key, static_cast<std::int32_t>(value), value);
            expected += line + (values ? "" : "  " + emu::statusDescription(key)) + "\n";
        }
        expected += std::to_string(list.size()) + " status value(s) from " + target + "\n";
        // The uptime may have ticked between the tool's fetch and this list.
        const std::regex uptime("\n3: [^\n]*\n");
        EXPECT_EQ(std::regex_replace(run.out, uptime, "\n"), std::regex_replace(expected, uptime, "\n"));
    }
    emulator_.setFault(emu::Fault::DropConnection);
    const ToolRun dropped = runTool(tool_, scratch_, "status " + address_);  // no close command to wait for
    EXPECT_EQ(dropped.exitCode, 1);
    EXPECT_EQ(dropped.err, "kelo status: status request: the scanner closed the connection\n");
}

TEST_F(KeloCliTest, ParameterFileRoundTripsAndRejectionsShowTheScannersMessages) {
    auto& parameters = emulator_.state<emu::ParameterState>();
    const std::string served = (std::unique_lock<std::mutex>(parameters.mutex), parameters.render());
    const ToolRun get = kelo("params get " + address_ + quoted("p.txt"));
    ASSERT_EQ(get.exitCode, 0) << get.err;
    EXPECT_EQ(read("p.txt"), served);
    const ToolRun put = kelo("params put " + address_ + quoted("p.txt"));
    EXPECT_EQ(put.exitCode, 0) << put.err;
    EXPECT_TRUE(has(put.out, "accepted"));

    const std::string bad = "Gain = 1\nNoSuchParameter = 3\nExposureTime = -7\n";
    const std::vector<std::string> messages = emu::ParameterState().apply(bad);  // the grammar alone
    ASSERT_EQ(messages.size(), 2u);
    std::ofstream(file("bad.txt"), std::ios::binary) << bad;
    const ToolRun rejected = kelo("params put " + address_ + quoted("bad.txt"));
    EXPECT_EQ(rejected.exitCode, 1);
    EXPECT_TRUE(has(rejected.err, "2 message(s):\n  " + messages[0] + "\n  " + messages[1] + "\n") &&
                std::count(rejected.err.begin(), rejected.err.end(), '\n') == 3) << rejected.err;

    const ToolRun missing = kelo("params put " + address_ + quoted("missing.txt"));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(has(missing.err, "Couldn't open local parameter file: " + file("missing.txt"))) << missing.err;
}

TEST_F(KeloCliTest, GrabWritesEveryProfileAsCsvPlotsTheLastAndLeavesSyncMode) {
    scriptBatches(4);
    const ToolRun run = kelo("grab " + address_ + " --count 25 --batch 10 --quiet --output" + quoted("g.csv") +
                            " --plot" + quoted("g.svg"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::string expected = "profile,point,v0,v1,v2\n";
    for (int profile = 0; profile < 25; ++profile)
        for (int point = 0; point < 4; ++point)
            expected += std::to_string(profile) + "," + std::to_string(point) + "," +
                        std::to_string(profile * 1000 + point) + "," + std::to_string(-point) + ",7\n";
    EXPECT_EQ(read("g.csv"), expected);
    EXPECT_EQ(emulator_.commandCount(kCmdEnterTimeSync), 1u);
    EXPECT_EQ(emulator_.commandCount(kCmdExitSync), 1u);
    EXPECT_EQ(nextProfile_, 25u);  // requests never ask for more than is still missing

    const std::string svg = read("g.svg");
    EXPECT_EQ(svg.rfind("<svg ", 0), 0u);
    const std::regex circle("<circle");
    EXPECT_EQ(std::distance(std::sregex_iterator(svg.begin(), svg.end(), circle), std::sregex_iterator()), 4);
    // The axes span the last profile's first values, 24000 to 24003.
    for (const char* part : {"profile 24, 4 points", ">24000<", "</svg>"}) EXPECT_TRUE(has(svg, part)) << part;
}

// In pulse mode, with the pulses started before and stopped after the batches.
TEST_F(KeloCliTest, GrabBinaryDumpHoldsTheRecordsAsTheLibraryFillsThem) {
    scriptBatches(3);
    const ToolRun run = kelo("grab " + address_ + " --count 5 --batch 2 --quiet --binary --mode pulse --pulse-period 2500 "
                            "--pulse-setting 7 --output" + quoted("g.bin"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string dump = read("g.bin");
    ASSERT_EQ(dump.size(), 5 * sizeof(ProfileRecord));
    for (std::int32_t i = 0; i < 5; ++i) {
        ProfileRecord r;
        std::memcpy(&r, dump.data() + i * sizeof r, sizeof r);
        // Values, not references: the record is packed.
        EXPECT_EQ((std::vector<std::int32_t>{r.header[0], r.header[8], r.pointCount, r.points[2][0], r.points[2][1]}),
                  (std::vector<std::int32_t>{i * 10, i * 10 + 8, 3, i * 1000 + 2, -2}));
    }
    EXPECT_TRUE(has(hex(emulator_.received()), hex(words({0x34, 0, 0x39, 16, 2500, 7, 0, 0, 0x26}))));
    EXPECT_TRUE(has(hex(emulator_.received()), hex(words({0x39, 16, 0, 0, 0, 0, 0x23}))));
}

// Runs that fail part way: the reason named, and sync mode left when the
// scanner still answers. --large is named only for a profile too long.
TEST_F(KeloCliTest, GrabFailuresSayWhatFailed) {
    scriptBatches(300);
    const ToolRun large = kelo("grab " + address_ + " --count 2 --large --quiet --output" + quoted("l.csv"));
    ASSERT_EQ(large.exitCode, 0) << large.err;
    const std::string csv = read("l.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 2 * 300);
    EXPECT_TRUE(has(csv, "\n1,299,1299,-299,7\n"));

    const emu::Bytes stalled = bytesOf({0, 0, 0, 39, 0, 0, 0, 4, 0, 0, 0, 2});  // a batch of 2 that stops
    struct Case { std::function<void(emu::Session&)> answer; std::string said; bool left; };
    const std::vector<Case> cases = {
        {nullptr, "kelo grab: a profile of 3640 bytes does not fit: use --large\n", true},
        {[](emu::Session& s) { s.sendAnswer(kAnswerProfile, bytesOf({0, 0, 0, 1})); },
         "kelo grab: profile batch: an answer of type 0 where a profile batch was expected\n", true},
        {[&](emu::Session& s) { s.sendRaw(stalled); },
         "kelo grab: profile batch: no answer within 300 ms\nkelo grab: could not leave sync mode: "
         "the scanner does not answer\n", false},
        {[](emu::Session&) {}, "kelo grab: profile batch: no answer within 300 ms\n"
                                "kelo grab: could not leave sync mode: the scanner does not answer\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        if (c.answer) emulator_.overrideCommand(kCmdMultipleProfileRequest, [&](emu::Session& s, const emu::Command&) { c.answer(s); });
        const std::size_t exits = emulator_.commandCount(kCmdExitSync);
        const ToolRun run = kelo("grab " + address_ + " --count 2 --quiet --timeout 300 --output" + quoted("s.csv"));
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, c.said);
        EXPECT_EQ(emulator_.commandCount(kCmdExitSync), exits + c.left);
    }
}

// Ctrl-C ends a grab within a second, keeps what was written and tries for
// at most a second more to leave sync mode; a second Ctrl-C ends it at once.
TEST_F(KeloCliTest, CtrlCEndsAGrabAtOnceAndKeepsWhatWasWritten) {
    std::uint32_t answered = 0, limit = 0;  // requests beyond the limit get nothing
    emulator_.overrideCommand(kCmdMultipleProfileRequest, [&](emu::Session& s, const emu::Command& c) {
        if (answered++ >= limit) return;
        emu::Bytes batch = words({c.word(0)});
        for (std::uint32_t i = 0; i < c.word(0); ++i) {
            const emu::Bytes profile = emu::answerBytes(kAnswerProfile, words({0, 0, 0, 0, 0, 0, 0, 0, 0, 1, i, 0, 7}));
            batch.insert(batch.end(), profile.begin(), profile.end());
        }
        s.sendAnswer(kAnswerProfileBatch, batch);
    });
    struct Case { std::uint32_t limit; const char* signals; double most; const char* end; };
    const std::vector<Case> cases = {
        // The bounds are the promise (1 s, plus 1 s to leave sync mode), with
        // room for a tool that runs emulated (the ports' suites).
        {~0u, "kill -INT $p", 1.0, ", interrupted\n"},
        {3, "kill -INT $p", 2.3, ", interrupted\nkelo grab: interrupted; could not leave sync mode within 1000 ms\n"},
        {3, "kill -INT $p; sleep 0.3; kill -INT $p", 1.0, ", interrupted\nkelo grab: interrupted\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signals);
        answered = 0, limit = c.limit;
        const std::size_t exits = emulator_.commandCount(kCmdExitSync);
        const ToolRun run = runScript(tool_, scratch_, "\"$KELO\" grab " + address_ + " --count 100000000 --batch 10 "
                                      "--output" + quoted("i.csv") + " & p=$!; sleep 1; " + c.signals + "; wait $p");
        EXPECT_EQ(run.exitCode, 130);
        EXPECT_LT(run.seconds - 1, c.most);
        EXPECT_EQ(emulator_.commandCount(kCmdExitSync), exits + 1);
        std::smatch summary;  // the last words, and the profiles they count are the ones in the file
        ASSERT_TRUE(std::regex_search(run.err, summary, std::regex("kelo grab: (\\d+) profile\\(s\\) from [^,]*"))) << run.err;
        EXPECT_EQ(run.err.substr(static_cast<std::size_t>(summary.position(0))), summary.str() + c.end);
        const std::string csv = read("i.csv");
        EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + std::stol(summary[1])) << run.err;
        if (c.limit == 3) {
            EXPECT_EQ(summary[1], "30");
        }
    }
    // A command with nothing to clean up ends at once, inside its call.
    emulator_.setFault(emu::Fault::Silent);
    const ToolRun status = runScript(tool_, scratch_, "\"$KELO\" status " + address_ + " & p=$!; sleep 1; kill -INT $p; wait $p");
    EXPECT_EQ(status.exitCode, 130);
    EXPECT_LT(status.seconds, 1.3);
    EXPECT_EQ(status.err, "kelo status: interrupted\n");
}

// The point cloud read back by PCL's converter, and the 16-bit height map.
TEST_F(KeloCliTest, GrabWritesAPointCloudAndAHeightMap) {
    if (std::system("command -v pcl_ply2pcd >/dev/null") != 0) {
        if (std::getenv("CI") != nullptr) FAIL() << "pcl_ply2pcd (Debian pcl-tools) is missing";
        GTEST_SKIP() << "pcl_ply2pcd (Debian pcl-tools) is not installed";
    }
    scriptBatches(3, 4);  // profiles 0, 2, 4 have 3 points; 1 and 3 have 4
    const ToolRun run = kelo("grab " + address_ + " --count 5 --batch 2 --quiet --ply" + quoted("c.ply") +
                            " --y-from-header 1 --step 0.5 --heightmap" + quoted("h.pgm"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");  // no CSV unless --output asks for it
    EXPECT_FALSE(fs::exists(file("c.ply.points")) || fs::exists(file("h.pgm.rows")));  // the stores beside them are gone

    ASSERT_EQ(std::system(("pcl_ply2pcd -format 0" + quoted("c.ply") + quoted("c.pcd") + " >/dev/null").c_str()), 0);
    const std::string pcd = read("c.pcd");
    std::ostringstream points;  // x = value 0, y = 0.5 * header value 1, z = value 1
    for (std::uint32_t i = 0; i < 5; ++i)
        for (std::uint32_t p = 0; p < (i % 2 ? 4u : 3u); ++p)
            points << i * 1000 + p << ' ' << (i * 10 + 1) * 0.5 << ' ' << -static_cast<int>(p) << " 7\n";
    const std::string data = "\nDATA ascii\n" + points.str();  // the whole rest of the file
    EXPECT_TRUE(has(pcd, "\nFIELDS x y z intensity\n") && has(pcd, "\nPOINTS 17\n") &&
                pcd.size() > data.size() && pcd.compare(pcd.size() - data.size(), data.size(), data) == 0) << pcd;

    // Rows are profiles, columns points; heights -3 to 0 spread over 1 to 65535.
    const std::string pgm = read("h.pgm");
    const std::string head = "P5\n# kelo grab height map: a row per profile, a column per point;\n"
                             "# 0 no point, 1 to 65535 heights -3 to 0\n4 5\n65535\n";
    const unsigned levels[4] = {65535, 43690, 21846, 1};  // heights 0, -1, -2, -3
    std::string pixels;
    for (unsigned row = 0, level; row < 5; ++row)
        for (unsigned column = 0; column < 4; ++column)
            level = row % 2 == 0 && column == 3 ? 0u : levels[column], pixels += {char(level >> 8), char(level & 255)};
    EXPECT_EQ(pgm, head + pixels);
}

TEST_F(KeloCliTest, ImageIsWrittenAsPgmWithTheScannersPixels) {
    auto& camera = emulator_.state<emu::CameraState>();
    camera.width = 16;
    camera.height = 8;
    const ToolRun run = kelo("image " + address_ + quoted("i.pgm"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const emu::Bytes payload = emu::makeImagePayload(emulator_.config(), 16, 8, 0, 0);
    EXPECT_EQ(read("i.pgm"), "P5\n16 8\n255\n" + std::string(payload.begin() + KELO_IMAGE_HEADER_SIZE, payload.end()));

    emulator_.setFault(emu::Fault::WrongType);
    const ToolRun broken = kelo("image " + address_ + quoted("j.pgm"));
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_EQ(broken.err, "kelo image: image request: an answer of type 99 where an image was expected\n");
    EXPECT_FALSE(fs::exists(file("j.pgm")));
}

TEST_F(KeloCliTest, FirmwareIsSentWithItsTrailerAndARefusalIsExplained) {
    std::ofstream(file("fw.bin"), std::ios::binary) << "\x01\x02\x03";
    const ToolRun run = kelo("firmware " + address_ + quoted("fw.bin") + " --version 577");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    expectReceived(bytesOf({0, 0, 0, 8, 0, 0, 0, 7, 1, 2, 3, 0xDE, 0xAD, 0xBE, 0xEF, 0, 0, 0, 0x66, 0, 0, 0, 0}));
    auto& firmware = emulator_.state<emu::FirmwareState>();
    std::unique_lock<std::mutex>(firmware.mutex), firmware.requireTrailer = true;
    const ToolRun refused = kelo("firmware " + address_ + quoted("fw.bin") + " --version 576");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(has(refused.err, "the scanner did not confirm the firmware update (21)")) << refused.err;
}

TEST_F(KeloCliTest, CalibPrintsEachLaserAndTheStoredWindowInItsOrder) {
    emulator_.config().laserCount = 2;
    auto& calibration = emulator_.state<emu::CalibrationState>();
    for (int laser = 0; laser < 2; ++laser) {
        std::lock_guard<std::mutex> lock(calibration.mutex);
        auto& l = calibration.laser(laser);
        for (int i = 0; i < 14; ++i) l.transform[i] = i * 0.5 + laser;
        for (int i = 0; i < 4; ++i) l.scanWindow[i] = (i + 1) * 1000 + laser;
        std::copy_n(std::vector<double>{1.5 + laser, -2, 1e-7}.begin(), 3, l.position);
    }
    const ToolRun run = kelo("calib " + address_);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // The store hands out window values 0, 2, 3, 1 in thousandths.
    EXPECT_EQ(run.out, address_ + " reports 2 laser(s)\nlaser 0\n  position:  1.5 -2 1e-07\n"
                                  "  transform: 0 0.5 1 1.5 2 2.5 3 3.5 4 4.5 5 5.5 6 6.5\n"
                                  "  window:    1000 2000 3000 4000\nlaser 1\n  position:  2.5 -2 1e-07\n"
                                  "  transform: 1 1.5 2 2.5 3 3.5 4 4.5 5 5.5 6 6.5 7 7.5\n"
                                  "  window:    1001 2001 3001 4001\nscan window of laser 0 (store): 1 3 4 2\n");
}

// Three scanners as a group, each one's profiles in a file of its own (in
// the order the command line names them); a silent member is named.
TEST_F(KeloCliTest, GrabOfAGroupWritesAFileForEachScanner) {
    std::vector<std::unique_ptr<emu::Emulator>> others;
    std::string hosts = address_;
    for (std::uint32_t serial : {2002u, 3003u}) {
        emu::ScannerConfig config;
        config.serialNumber = serial;
        config.pointsPerProfile = static_cast<int>(serial / 1000);
        others.push_back(std::make_unique<emu::Emulator>(config));
        const std::string address = uniqueLoopbackAddress();
        ASSERT_TRUE(others.back()->start(address));
        hosts += " " + address;
    }
    emulator_.config().pointsPerProfile = 1;
    const ToolRun run = kelo("grab " + hosts + " --count 25 --batch 10 --quiet --binary --output" + quoted("g.bin"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (std::uint32_t s = 1; s <= 3; ++s) {
        const std::string dump = read("g-" + std::to_string(s) + ".bin");
        ASSERT_EQ(dump.size(), 25 * sizeof(ProfileRecord));
        for (std::size_t i = 0; i < 25; ++i) {
            ProfileRecord r;
            std::memcpy(&r, dump.data() + i * sizeof r, sizeof r);
            EXPECT_EQ((std::vector<std::int32_t>{r.header[emu::kHeaderSerial], r.pointCount}),
                      (std::vector<std::int32_t>{std::int32_t(s == 1 ? 1001 : s * 1001), std::int32_t(s)}));
        }
    }
    EXPECT_EQ(emulator_.commandCount(kCmdExitSync) + others[1]->commandCount(kCmdExitSync), 2u);

    others[0]->setFault(emu::Fault::Silent);
    const ToolRun silent = kelo("grab " + hosts + " --count 25 --batch 10 --quiet --timeout 300 --output" + quoted("s.csv"));
    EXPECT_EQ(silent.exitCode, 1);
    const std::string second = hosts.substr(address_.size() + 1, hosts.rfind(' ') - address_.size() - 1);
    EXPECT_EQ(silent.err, "kelo grab: " + second + ": did not deliver its 10 profile(s) within 300 ms\n"
                          "kelo grab: could not leave sync mode: " + second + ": the scanner does not answer\n");
    EXPECT_EQ(emulator_.commandCount(kCmdExitSync) + others[1]->commandCount(kCmdExitSync), 4u);
}

}  // namespace
}  // namespace kelo::test
