// The kelo command-line tool, run as a program against the in-process
// emulator: what it prints, the files it writes and the bytes it sends.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/command_codes.h"
#include "emulator/calibration_state.h"
#include "emulator/firmware_state.h"
#include "emulator/parameter_state.h"
#include "emulator/scan_image_state.h"
#include "emulator/status_state.h"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

namespace fs = std::filesystem;

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file << bytes;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) out.push_back(line);
    return out;
}

// The tool sits beside the test program. The Windows build runs its tests
// under Wine, where the tool is not started from here.
bool locateTool(fs::path* tool, std::string* why) {
    const std::string self = ::testing::internal::GetArgvs().at(0);
    if (self.size() > 4 && self.compare(self.size() - 4, 4, ".exe") == 0) {
        *why = "the command-line tests run with the native build";
        return false;
    }
    *tool = fs::absolute(fs::path(self)).parent_path() / "kelo";
    return true;
}

// Runs the tool through the shell, bounded in time.
CliRun runTool(const fs::path& tool, const fs::path& scratch, const std::string& arguments) {
    const fs::path out = scratch / "stdout.txt", err = scratch / "stderr.txt";
    const std::string command = "timeout 30 '" + tool.string() + "' " + arguments + " >'" +
                                out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    CliRun run;
    // A wait status: the exit code in the second byte, a signal in the low bits.
    run.exitCode = (status & 0x7F) != 0 ? -1 : (status >> 8) & 0xFF;
    run.out = readFile(out);
    run.err = readFile(err);
    return run;
}

emu::Bytes profileAnswer(std::uint32_t index, std::uint32_t points) {
    emu::Bytes payload;
    for (std::uint32_t h = 0; h < 9; ++h) emu::appendWord(payload, index * 10 + h);
    emu::appendWord(payload, points);
    for (std::uint32_t p = 0; p < points; ++p) {
        emu::appendWord(payload, index * 1000 + p);
        emu::appendWord(payload, static_cast<std::uint32_t>(-static_cast<std::int32_t>(p)));
        emu::appendWord(payload, 7);
    }
    return emu::answerBytes(kAnswerProfile, payload);
}

class KeloCliTest : public EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
        std::string why;
        if (!locateTool(&tool_, &why)) GTEST_SKIP() << why;
        ASSERT_TRUE(fs::exists(tool_)) << "kelo is not built at " << tool_;
        scratch_ = fs::temp_directory_path() /
                   ("kelo_cli_" + address_ + "_" +
                    std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(scratch_);
    }
    void TearDown() override {
        std::error_code ignored;
        if (!scratch_.empty()) fs::remove_all(scratch_, ignored);
        EmulatorTest::TearDown();
    }
    // The tool's last commands may still be in flight when it exits; the
    // emulator has handled them all once every connection was closed.
    CliRun kelo(const std::string& arguments) {
        CliRun run = runTool(tool_, scratch_, arguments);
        for (int wait = 0; wait < 400 && emulator_.commandCount(kCmdClose) <
                                             emulator_.connectionsAccepted();
             ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return run;
    }
    std::string file(const std::string& name) const { return (scratch_ / name).string(); }

    // Batch requests answered with scripted profiles: profile i (counted
    // over the whole run) has `points` points (`oddPoints` when i is odd)
    // whose first value is i * 1000 + point.
    void scriptBatches(std::uint32_t points, std::uint32_t oddPoints = 0) {
        if (oddPoints == 0) oddPoints = points;
        emulator_.overrideCommand(kCmdMultipleProfileRequest, [this, points, oddPoints](
                                                                  emu::Session& session,
                                                                  const emu::Command& c) {
                                      emu::Bytes payload;
                                      emu::appendWord(payload, c.word(0));
                                      for (std::uint32_t i = 0; i < c.word(0); ++i) {
                                          const std::uint32_t n = nextProfile_ % 2 ? oddPoints : points;
                                          const emu::Bytes a = profileAnswer(nextProfile_++, n);
                                          payload.insert(payload.end(), a.begin(), a.end());
                                      }
                                      session.sendAnswer(kAnswerProfileBatch, payload);
                                  });
    }

    fs::path tool_;
    fs::path scratch_;
    std::uint32_t nextProfile_ = 0;
};

TEST_F(KeloCliTest, EverySubcommandHasHelpAndBadCommandLinesExitWithTwo) {
    for (const char* command :
         {"discover", "status", "params", "calib", "grab", "image", "firmware", "view"}) {
        const CliRun help = kelo(std::string(command) + " --help");
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_EQ(help.out.rfind(std::string("usage: kelo ") + command, 0), 0u) << help.out;
    }
    const CliRun top = kelo("--help");
    EXPECT_EQ(top.exitCode, 0);
    EXPECT_NE(top.out.find("grab"), std::string::npos);

    EXPECT_EQ(kelo("").exitCode, 2);
    const CliRun unknown = kelo("frobnicate");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("unknown command 'frobnicate'"), std::string::npos);

    // Refused before any connection is made.
    const CliRun noCount = kelo("grab " + address_);
    EXPECT_EQ(noCount.exitCode, 2);
    EXPECT_NE(noCount.err.find("--count is required"), std::string::npos) << noCount.err;
    EXPECT_EQ(kelo("grab " + address_ + " --count 5 --mode sideways").exitCode, 2);
    EXPECT_EQ(kelo("grab " + address_ + " --count 5 --mode pulse --pulse-period 999").exitCode, 2);
    EXPECT_EQ(kelo("grab " + address_ + " --count 5 --encoder 3").exitCode, 2);
    EXPECT_EQ(kelo("grab " + address_ + " --count 5 --ply a.ply --y-from-header 9").exitCode, 2);
    EXPECT_EQ(kelo("grab " + address_ + " --count 5 --ply a.ply --step 0").exitCode, 2);
    EXPECT_EQ(kelo("grab " + address_ + " --count 5 --step 2").exitCode, 2);
    EXPECT_EQ(kelo("view " + address_ + " --port 65536").exitCode, 2);
    EXPECT_EQ(kelo("view " + address_ + " --mode sideways").exitCode, 2);
    EXPECT_EQ(kelo("firmware " + address_ + " " + file("none.bin")).exitCode, 2);
    EXPECT_EQ(kelo("params fetch " + address_ + " x").exitCode, 2);
    EXPECT_EQ(emulator_.connectionsAccepted(), 0u);
}

TEST_F(KeloCliTest, NoScannerAtTheAddressIsAFailureWithItsReason) {
    const std::string nobody = uniqueLoopbackAddress();
    const CliRun run = kelo("status " + nobody);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("no scanner answers at " + nobody), std::string::npos) << run.err;
}

TEST_F(KeloCliTest, StatusListsEveryValueAndTheDescriptionsAskedFor) {
    const CliRun run = kelo("status " + address_ + " --describe 2 --describe 5");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::string expected;
    const auto list = emu::statusList(emulator_);
    for (const auto& [key, value] : list) {
        char line[64];
        std::snprintf(line, sizeof line, "%u: %d (0x%08X)\n", key, static_cast<std::int32_t>(value),
                      value);
        expected += line;
    }
    expected += std::to_string(list.size()) + " status value(s) from " + address_ + "\n";
    expected += "description 2: " + emu::statusDescription(2) + "\n";
    expected += "description 5: " + emu::statusDescription(5) + "\n";
    EXPECT_EQ(run.out, expected);
}

TEST_F(KeloCliTest, ParameterFileRoundTripsAndRejectionsShowTheScannersMessages) {
    std::string served;
    {
        auto& parameters = emulator_.state<emu::ParameterState>();
        std::lock_guard<std::mutex> lock(parameters.mutex);
        served = parameters.render();
    }
    const CliRun get = kelo("params get " + address_ + " '" + file("p.txt") + "'");
    ASSERT_EQ(get.exitCode, 0) << get.err;
    EXPECT_EQ(readFile(file("p.txt")), served);

    const CliRun put = kelo("params put " + address_ + " '" + file("p.txt") + "'");
    EXPECT_EQ(put.exitCode, 0) << put.err;
    EXPECT_NE(put.out.find("accepted"), std::string::npos);

    const std::string bad = "Gain = 1\nNoSuchParameter = 3\nExposureTime = -7\n";
    std::vector<std::string> messages;
    {
        emu::ParameterState judge;  // the grammar, without touching the emulator's set
        messages = judge.apply(bad);
    }
    ASSERT_EQ(messages.size(), 2u);
    writeFile(file("bad.txt"), bad);
    const CliRun rejected = kelo("params put " + address_ + " '" + file("bad.txt") + "'");
    EXPECT_EQ(rejected.exitCode, 1);
    const auto errLines = lines(rejected.err);
    ASSERT_EQ(errLines.size(), 3u) << rejected.err;
    EXPECT_NE(errLines[0].find("2 message(s)"), std::string::npos) << errLines[0];
    EXPECT_EQ(errLines[1], "  " + messages[0]);
    EXPECT_EQ(errLines[2], "  " + messages[1]);

    const CliRun missing = kelo("params put " + address_ + " '" + file("missing.txt") + "'");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Couldn't open local parameter file: " + file("missing.txt")),
              std::string::npos)
        << missing.err;
}

TEST_F(KeloCliTest, GrabWritesEveryProfileAsCsvAndLeavesSyncMode) {
    scriptBatches(4);
    const CliRun run = kelo("grab " + address_ + " --count 25 --batch 10 --quiet --output '" +
                            file("g.csv") + "'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto rows = lines(readFile(file("g.csv")));
    ASSERT_EQ(rows.size(), 1u + 25u * 4u);
    EXPECT_EQ(rows[0], "profile,point,v0,v1,v2");
    for (std::uint32_t profile = 0; profile < 25; ++profile) {
        for (std::uint32_t point = 0; point < 4; ++point) {
            const std::string expected = std::to_string(profile) + "," + std::to_string(point) +
                                         "," + std::to_string(profile * 1000 + point) + "," +
                                         std::to_string(-static_cast<int>(point)) + ",7";
            EXPECT_EQ(rows[1 + profile * 4 + point], expected);
        }
    }
    EXPECT_EQ(emulator_.commandCount(kCmdEnterTimeSync), 1u);
    EXPECT_EQ(emulator_.commandCount(kCmdExitSync), 1u);
    // Requests never ask for more than is still missing.
    EXPECT_EQ(nextProfile_, 25u);
}

TEST_F(KeloCliTest, GrabBinaryDumpHoldsTheRecordsAsTheLibraryFillsThem) {
    scriptBatches(3);
    const CliRun run = kelo("grab " + address_ + " --count 5 --batch 2 --quiet --binary --output '" +
                            file("g.bin") + "'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string dump = readFile(file("g.bin"));
    ASSERT_EQ(dump.size(), 5 * sizeof(ProfileRecord));
    for (std::uint32_t i = 0; i < 5; ++i) {
        ProfileRecord record;
        std::memcpy(&record, dump.data() + i * sizeof record, sizeof record);
        // Values, not references: the record is packed.
        EXPECT_EQ(+record.header[0], static_cast<std::int32_t>(i * 10));
        EXPECT_EQ(+record.header[8], static_cast<std::int32_t>(i * 10 + 8));
        ASSERT_EQ(+record.pointCount, 3);
        EXPECT_EQ(+record.points[2][0], static_cast<std::int32_t>(i * 1000 + 2));
        EXPECT_EQ(+record.points[2][1], -2);
    }
}

TEST_F(KeloCliTest, GrabLargeReadsProfilesLongerThanTheStandardRecord) {
    scriptBatches(300);
    const CliRun large = kelo("grab " + address_ + " --count 2 --large --quiet --output '" +
                              file("l.csv") + "'");
    ASSERT_EQ(large.exitCode, 0) << large.err;
    const auto rows = lines(readFile(file("l.csv")));
    ASSERT_EQ(rows.size(), 1u + 2u * 300u);
    EXPECT_EQ(rows.back(), "1,299,1299,-299,7");

    // The standard record cannot hold them: a failure that names the way out.
    const CliRun standard = kelo("grab " + address_ + " --count 2 --quiet --output '" +
                                 file("s.csv") + "'");
    EXPECT_EQ(standard.exitCode, 1);
    EXPECT_NE(standard.err.find("need --large"), std::string::npos) << standard.err;
    EXPECT_EQ(emulator_.commandCount(kCmdExitSync), 2u);
}

TEST_F(KeloCliTest, GrabPlotDrawsEveryPointOfTheLastProfile) {
    scriptBatches(6);
    const CliRun run = kelo("grab " + address_ + " --count 3 --quiet --output '" + file("g.csv") +
                            "' --plot '" + file("g.svg") + "'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string svg = readFile(file("g.svg"));
    EXPECT_EQ(svg.rfind("<svg ", 0), 0u);
    std::size_t circles = 0;
    for (std::size_t at = svg.find("<circle"); at != std::string::npos;
         at = svg.find("<circle", at + 1)) {
        ++circles;
    }
    EXPECT_EQ(circles, 6u);
    EXPECT_NE(svg.find("profile 2, 6 points"), std::string::npos);
    // The axes span the last profile's first values, 2000 to 2005.
    EXPECT_NE(svg.find(">2000<"), std::string::npos);
    EXPECT_NE(svg.find("</svg>"), std::string::npos);
}

// The point cloud read back by PCL's converter, and the 16-bit height map.
TEST_F(KeloCliTest, GrabWritesAPointCloudAndAHeightMap) {
    if (std::system("command -v pcl_ply2pcd >/dev/null") != 0) {
        if (std::getenv("CI") != nullptr) FAIL() << "pcl_ply2pcd (Debian pcl-tools) is missing";
        GTEST_SKIP() << "pcl_ply2pcd (Debian pcl-tools) is not installed";
    }
    scriptBatches(3, 4);  // profiles 0, 2, 4 have 3 points; 1 and 3 have 4
    const CliRun run = kelo("grab " + address_ + " --count 5 --batch 2 --quiet --ply '" +
                            file("c.ply") + "' --y-from-header 1 --step 0.5 --heightmap '" +
                            file("h.pgm") + "'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");  // no CSV unless --output asks for it
    EXPECT_FALSE(fs::exists(file("c.ply.points")));  // the stores beside the files are gone
    EXPECT_FALSE(fs::exists(file("h.pgm.rows")));

    ASSERT_EQ(std::system(("pcl_ply2pcd -format 0 '" + file("c.ply") + "' '" + file("c.pcd") +
                           "' >/dev/null")
                              .c_str()),
              0);
    const auto pcd = lines(readFile(file("c.pcd")));
    auto field = [&](const std::string& name) {
        for (const auto& line : pcd) {
            if (line.rfind(name + " ", 0) == 0) return line.substr(name.size() + 1);
        }
        return std::string("(missing)");
    };
    EXPECT_EQ(field("FIELDS"), "x y z intensity");
    EXPECT_EQ(field("POINTS"), "17");
    std::vector<std::string> expected;  // x = value 0, y = 0.5 * header value 1, z = value 1
    for (std::uint32_t i = 0; i < 5; ++i) {
        for (std::uint32_t p = 0; p < (i % 2 ? 4u : 3u); ++p) {
            std::ostringstream point;
            point << i * 1000 + p << ' ' << (i * 10 + 1) * 0.5 << ' ' << -static_cast<int>(p) << " 7";
            expected.push_back(point.str());
        }
    }
    const auto data = std::find(pcd.begin(), pcd.end(), "DATA ascii");
    ASSERT_NE(data, pcd.end());
    EXPECT_EQ(std::vector<std::string>(data + 1, pcd.end()), expected);

    // Rows are profiles, columns points; heights -3 to 0 spread over 1 to 65535.
    const std::string pgm = readFile(file("h.pgm"));
    const std::string head = "P5\n# kelo grab height map: a row per profile, a column per point;\n"
                             "# 0 no point, 1 to 65535 heights -3 to 0\n4 5\n65535\n";
    ASSERT_EQ(pgm.substr(0, head.size()), head);
    ASSERT_EQ(pgm.size(), head.size() + 5 * 4 * 2);
    const unsigned levels[4] = {65535, 43690, 21846, 1};  // heights 0, -1, -2, -3
    for (std::size_t row = 0; row < 5; ++row) {
        for (std::size_t column = 0; column < 4; ++column) {
            const std::size_t at = head.size() + 2 * (row * 4 + column);
            const unsigned level = static_cast<std::uint8_t>(pgm[at]) * 256u +
                                   static_cast<std::uint8_t>(pgm[at + 1]);
            EXPECT_EQ(level, row % 2 == 0 && column == 3 ? 0u : levels[column]) << row << "," << column;
        }
    }
}

TEST_F(KeloCliTest, GrabInPulseModeStartsAndStopsThePulses) {
    scriptBatches(1);
    const CliRun run = kelo("grab " + address_ +
                            " --count 2 --mode pulse --pulse-period 2500 --pulse-setting 7 --quiet"
                            " --output '" + file("g.csv") + "'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string sent = hex(emulator_.received());
    EXPECT_NE(sent.find("00 00 00 34 00 00 00 00"), std::string::npos);  // enter pulse sync
    EXPECT_NE(sent.find("00 00 00 39 00 00 00 10 00 00 09 C4 00 00 00 07 00 00 00 00 00 00 00 00"),
              std::string::npos);
    EXPECT_NE(sent.find("00 00 00 39 00 00 00 10 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"),
              std::string::npos);
    EXPECT_EQ(emulator_.commandCount(kCmdExitSync), 1u);
}

TEST_F(KeloCliTest, GrabReportsAFailedBatchAndStillLeavesSyncMode) {
    emulator_.overrideCommand(kCmdMultipleProfileRequest,
                              [](emu::Session& session, const emu::Command&) {
                                  // A profile where a batch belongs.
                                  session.sendAnswer(kAnswerProfile, bytesOf({0, 0, 0, 1}));
                              });
    const CliRun run = kelo("grab " + address_ + " --count 10 --quiet --output '" + file("g.csv") + "'");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("profile batch: the command could not be sent or the answer not read"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(emulator_.commandCount(kCmdExitSync), 1u);
}

TEST_F(KeloCliTest, ImageIsWrittenAsPgmWithTheScannersPixels) {
    auto& camera = emulator_.state<emu::CameraState>();
    camera.width = 16;
    camera.height = 8;
    const CliRun run = kelo("image " + address_ + " '" + file("i.pgm") + "'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const emu::Bytes payload = emu::makeImagePayload(emulator_.config(), 16, 8, 0, 0);
    const std::string expected =
        "P5\n16 8\n255\n" + std::string(payload.begin() + KELO_IMAGE_HEADER_SIZE, payload.end());
    EXPECT_EQ(readFile(file("i.pgm")), expected);

    emulator_.setFault(emu::Fault::WrongType);
    const CliRun broken = kelo("image " + address_ + " '" + file("j.pgm") + "'");
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_NE(broken.err.find("image request: the command could not be sent or the answer not "
                              "read"),
              std::string::npos)
        << broken.err;
    EXPECT_NE(broken.err.find("(-1)"), std::string::npos);
    EXPECT_FALSE(fs::exists(file("j.pgm")));
}

TEST_F(KeloCliTest, FirmwareIsSentWithItsTrailerAndARefusalIsExplained) {
    writeFile(file("fw.bin"), "\x01\x02\x03");
    const CliRun run = kelo("firmware " + address_ + " '" + file("fw.bin") + "' --version 577");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    expectReceived(bytesOf({0, 0, 0, 8, 0, 0, 0, 7, 1, 2, 3, 0xDE, 0xAD, 0xBE, 0xEF,
                            0, 0, 0, 0x66, 0, 0, 0, 0}));

    {
        auto& firmware = emulator_.state<emu::FirmwareState>();
        std::lock_guard<std::mutex> lock(firmware.mutex);
        firmware.requireTrailer = true;
    }
    const CliRun refused = kelo("firmware " + address_ + " '" + file("fw.bin") + "' --version 576");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("the scanner did not confirm the firmware update (21)"),
              std::string::npos)
        << refused.err;
}

TEST_F(KeloCliTest, CalibPrintsEachLaserAndTheStoredWindowInItsOrder) {
    emulator_.config().laserCount = 2;
    {
        auto& calibration = emulator_.state<emu::CalibrationState>();
        std::lock_guard<std::mutex> lock(calibration.mutex);
        for (std::uint32_t laser = 0; laser < 2; ++laser) {
            auto& l = calibration.laser(laser);
            l.position[0] = 1.5 + laser;
            l.position[1] = -2;
            l.position[2] = 1e-7;
            for (int i = 0; i < 14; ++i) l.transform[i] = i * 0.5 + laser;
            for (int i = 0; i < 4; ++i) l.scanWindow[i] = (i + 1) * 1000 + static_cast<int>(laser);
        }
    }
    const CliRun run = kelo("calib " + address_);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto out = lines(run.out);
    ASSERT_EQ(out.size(), 10u) << run.out;
    EXPECT_EQ(out[0], address_ + " reports 2 laser(s)");
    EXPECT_EQ(out[1], "laser 0");
    EXPECT_EQ(out[2], "  position:  1.5 -2 1e-07");
    EXPECT_EQ(out[3], "  transform: 0 0.5 1 1.5 2 2.5 3 3.5 4 4.5 5 5.5 6 6.5");
    EXPECT_EQ(out[4], "  window:    1000 2000 3000 4000");
    EXPECT_EQ(out[5], "laser 1");
    EXPECT_EQ(out[6], "  position:  2.5 -2 1e-07");
    EXPECT_EQ(out[8], "  window:    1001 2001 3001 4001");
    // The store hands out window values 0, 2, 3, 1 in thousandths.
    EXPECT_EQ(out[9], "scan window of laser 0 (store): 1 3 4 2");
}

// Real broadcasts only inside the discovery suite's network namespace,
// which runs the Discovery* tests with an emulator answering discovery.
TEST(DiscoveryCli, KeloDiscoverListsTheNamespacesScanner) {
    const char* addresses = std::getenv("KELO_DISCOVERY_NETNS_ADDRESSES");
    const char* host = std::getenv("KELO_HOST_NETNS");
    const char* serial = std::getenv("KELO_DISCOVERY_EXTERNAL_SERIAL");
    std::error_code error;
    const std::string own = fs::read_symlink("/proc/self/ns/net", error).string();
    if (addresses == nullptr || host == nullptr || serial == nullptr || error || own == host) {
        GTEST_SKIP() << "broadcasts run only in the namespace of scripts/tests.d/30-discovery-netns.sh";
    }
    fs::path tool;
    std::string why;
    if (!locateTool(&tool, &why)) GTEST_SKIP() << why;
    const fs::path scratch = fs::temp_directory_path() / "kelo_cli_discovery";
    fs::create_directories(scratch);
    const CliRun run = runTool(tool, scratch, std::string("discover --serial ") + serial);
    fs::remove_all(scratch, error);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(std::string("identity ") + serial + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1 scanner(s) answered"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace kelo::test
