// The calibration store, intrinsic and position uploads, position history.
#include <cmath>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "config/calibration_store.h"
#include "config/date_line.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "emulator/calibration_state.h"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

using emu::Bytes;

// A command 47 answer from 17 texts and 6 words.
Bytes calibrationAnswer(const std::vector<std::string>& texts, const std::vector<std::int32_t>& words) {
    Bytes payload;
    for (const std::string& t : texts) emu::appendCountedString(payload, t);
    for (std::int32_t w : words) emu::appendWord(payload, static_cast<std::uint32_t>(w));
    return emu::answerBytes(kCmdCalibration, payload);
}

std::vector<std::string> numberedTexts() {
    std::vector<std::string> texts;
    for (int i = 0; i < 17; ++i) texts.push_back(std::to_string(i + 1) + ".5");
    return texts;
}

Bytes request47(std::uint32_t laser) {
    return bytesOf({0, 0, 0, 0x2F, 0, 0, 0, 4, laser >> 24, (laser >> 16) & 255, (laser >> 8) & 255,
                    laser & 255});
}

struct Transform {
    double p[14];
};

int32_t getTransform(ScannerConnection* c, int32_t laser, Transform& t) {
    double* p = t.p;
    return lpGetTransformParametersN(c, laser, p, p + 1, p + 2, p + 3, p + 4, p + 5, p + 6, p + 7,
                                     p + 8, p + 9, p + 10, p + 11, p + 12, p + 13);
}

class CalibrationTest : public EmulatorTest {
protected:
    void scriptCalibration(const Bytes& answer) {
        emulator_.overrideCommand(kCmdCalibration,
                                  [answer](emu::Session& s, const emu::Command&) { s.sendRaw(answer); });
    }
    template <typename F>
    void withLaser(std::uint32_t index, F change) {
        auto& state = emulator_.state<emu::CalibrationState>();
        std::lock_guard<std::mutex> lock(state.mutex);
        change(state.laser(index));
    }
};

TEST_F(CalibrationTest, NothingIsHeldBeforeRetrieval) {
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(lpGetLaserCount(connection_), KELO_ERROR_STATE);
    double w[4] = {-7, -7, -7, -7};
    EXPECT_EQ(lpGetScanWindow(connection_, &w[0], &w[1], &w[2], &w[3]), KELO_ERROR_STATE);
    for (double v : w) EXPECT_EQ(v, -7);
    Transform t{};
    EXPECT_EQ(getTransform(connection_, 0, t), KELO_ERROR_STATE);
    EXPECT_EQ(lpGetScanWindow(connection_, &w[0], nullptr, &w[2], &w[3]), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpGetScanWindow(nullptr, &w[0], &w[1], &w[2], &w[3]), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpGetLaserCount(nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpRetrieveCalibrationValues(nullptr), KELO_ERROR_ARGUMENT);
    double* p = t.p;
    EXPECT_EQ(lpGetTransformParametersN(connection_, 0, p, p, p, p, p, p, p, p, p, p, p, p, p, nullptr),
              KELO_ERROR_ARGUMENT);
    expectReceived({});
}

TEST_F(CalibrationTest, RetrievalAsksForEachReportedLaserAndStoresItsValues) {
    emulator_.config().laserCount = 2;
    withLaser(1, [](emu::EmulatedLaserCalibration& l) {
        for (int i = 0; i < 14; ++i) l.transform[i] = 0.1 * (i + 1) - 0.7;
    });
    withLaser(0, [](emu::EmulatedLaserCalibration& l) {
        const std::int32_t window[4] = {1000, 2000, 3000, 4000};
        std::memcpy(l.scanWindow, window, sizeof window);
    });
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(lpRetrieveCalibrationValues(connection_), KELO_OK);
    Bytes expected = request47(0);
    const Bytes second = request47(1);
    expected.insert(expected.end(), second.begin(), second.end());
    expectReceived(expected);
    EXPECT_EQ(lpGetLaserCount(connection_), 2);

    double w[4] = {};
    EXPECT_EQ(lpGetScanWindow(connection_, &w[0], &w[1], &w[2], &w[3]), KELO_OK);
    EXPECT_EQ(w[0], 1.0);
    EXPECT_EQ(w[1], 3.0);
    EXPECT_EQ(w[2], 4.0);
    EXPECT_EQ(w[3], 2.0);

    Transform t{};
    ASSERT_EQ(getTransform(connection_, 1, t), KELO_OK);
    for (int i = 0; i < 14; ++i) {
        const double sent = std::strtod(emu::calibrationText(0.1 * (i + 1) - 0.7).c_str(), nullptr);
        EXPECT_EQ(t.p[i], sent) << i;
    }
    EXPECT_EQ(getTransform(connection_, 2, t), KELO_ERROR_STATE);
    const kelo::LaserCalibration& laser0 = connection_->laserCalibrations.at(0);
    EXPECT_EQ(laser0.positionCalibration[0], 12.5);
    EXPECT_EQ(laser0.spareWord, 7);
}

TEST_F(CalibrationTest, LaserCountOutsideTheIndexTableIsBounded) {
    for (int count : {0, -4, 1, 3, 7, 0x7FFFFFFF}) {
        emulator_.config().laserCount = count;
        ASSERT_NE(open(), nullptr);
        const std::size_t before = emulator_.commandCount(kCmdCalibration);
        EXPECT_EQ(lpRetrieveCalibrationValues(connection_), KELO_OK) << count;
        const std::size_t expected = count <= 1 ? 1 : count >= 3 ? 3 : std::size_t(count);
        EXPECT_EQ(emulator_.commandCount(kCmdCalibration) - before, expected) << count;
        EXPECT_EQ(lpGetLaserCount(connection_), count);
        EXPECT_EQ(connection_->laserCalibrations.size(), expected);
        lpCloseConnection(connection_);
        connection_ = nullptr;
    }
}

TEST_F(CalibrationTest, NegativeWindowWordInBothReadings) {
    withLaser(0, [](emu::EmulatedLaserCalibration& l) { l.scanWindow[0] = -1500; });
    withLaser(1, [](emu::EmulatedLaserCalibration& l) {
        const std::int32_t window[4] = {-1500, 2, -3, 2147483647};
        std::memcpy(l.scanWindow, window, sizeof window);
    });
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(lpRetrieveCalibrationValues(connection_), KELO_OK);
    double w[4] = {};
    ASSERT_EQ(lpGetScanWindow(connection_, &w[0], &w[1], &w[2], &w[3]), KELO_OK);
    EXPECT_EQ(w[0], -1.5);
    emulator_.clearReceived();

    int32_t raw[4] = {};
    EXPECT_EQ(lpReadScanWindowN(connection_, 1, &raw[0], &raw[1], &raw[2], &raw[3]), KELO_OK);
    expectReceived(request47(1));
    EXPECT_EQ(raw[0], -1500);
    EXPECT_EQ(raw[1], 2);
    EXPECT_EQ(raw[2], -3);
    EXPECT_EQ(raw[3], 2147483647);
    // The direct read leaves the store alone.
    EXPECT_EQ(connection_->laserCalibrations.count(1), 0u);
}

TEST_F(CalibrationTest, ScanWindowReadRefusedWhileSynchronised) {
    ASSERT_NE(open(), nullptr);
    connection_->syncFlag = 1;
    int32_t raw[4] = {5, 5, 5, 5};
    EXPECT_EQ(lpReadScanWindowN(connection_, 0, &raw[0], &raw[1], &raw[2], &raw[3]), KELO_ERROR_STATE);
    EXPECT_EQ(lpReadScanWindowN(connection_, 0, &raw[0], &raw[1], nullptr, &raw[3]), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(raw[0], 5);
    // Retrieval does not depend on the sync state.
    EXPECT_EQ(lpRetrieveCalibrationValues(connection_), KELO_OK);
    expectReceived(request47(0));
}

TEST_F(CalibrationTest, NumberTextsParseAsTheirLeadingNumber) {
    std::vector<std::string> texts = numberedTexts();
    texts[3] = "12.5mm";    // transform 0
    texts[4] = "";          // transform 1: keeps its value
    texts[5] = "  +7e1";    // transform 2
    texts[6] = "abc";       // transform 3: keeps its value
    texts[7] = "-0x10";     // transform 4
    texts[8] = std::string("3\0 9", 4);
    ASSERT_NE(open(), nullptr);
    scriptCalibration(calibrationAnswer(texts, {0, 1, 0, 0, 0, 0}));
    ASSERT_EQ(lpRetrieveCalibrationValues(connection_), KELO_OK);
    Transform t{};
    ASSERT_EQ(getTransform(connection_, 0, t), KELO_OK);
    EXPECT_EQ(t.p[0], 12.5);
    EXPECT_EQ(t.p[1], 0.0);
    EXPECT_EQ(t.p[2], 70.0);
    EXPECT_EQ(t.p[3], 0.0);
    EXPECT_EQ(t.p[4], -16.0);
    EXPECT_EQ(t.p[5], 3.0);
    EXPECT_EQ(t.p[6], 10.5);

    // A second retrieval overwrites what parses and keeps what does not.
    std::vector<std::string> second(17, "oops");
    second[3] = "1";
    scriptCalibration(calibrationAnswer(second, {0, 1, 0, 0, 0, 0}));
    ASSERT_EQ(lpRetrieveCalibrationValues(connection_), KELO_OK);
    ASSERT_EQ(getTransform(connection_, 0, t), KELO_OK);
    EXPECT_EQ(t.p[0], 1.0);
    EXPECT_EQ(t.p[2], 70.0);
    EXPECT_EQ(t.p[13], 17.5);
}

TEST_F(CalibrationTest, AnswerBrokenAfterItsHeaderLeavesAPartialRecord) {
    ASSERT_NE(open(), nullptr);
    Bytes answer = calibrationAnswer(numberedTexts(), {0, 3, 0, 0, 0, 0});
    answer.resize(8 + 3 * 7 + 2);  // header, three texts, half a count
    emulator_.overrideCommand(kCmdCalibration, [answer](emu::Session& s, const emu::Command&) {
        s.sendRaw(answer);
        s.close();
    });
    EXPECT_EQ(lpRetrieveCalibrationValues(connection_), KELO_ERROR_IO);
    EXPECT_EQ(lpGetLaserCount(connection_), 0);
    const kelo::LaserCalibration& laser0 = connection_->laserCalibrations.at(0);
    EXPECT_EQ(laser0.positionCalibration[2], 3.5);
    EXPECT_EQ(laser0.transformParameters[0], 0.0);
}

TEST_F(CalibrationTest, AnswerHeaderAloneCreatesNoRecordWhenCut) {
    ASSERT_NE(open(), nullptr);
    emulator_.overrideCommand(kCmdCalibration, [](emu::Session& s, const emu::Command&) {
        s.sendRaw(bytesOf({0, 0, 0, 0x2F, 0, 0}));
        s.close();
    });
    EXPECT_EQ(lpRetrieveCalibrationValues(connection_), KELO_ERROR_IO);
    EXPECT_EQ(lpGetLaserCount(connection_), KELO_ERROR_STATE);
}

TEST_F(CalibrationTest, LyingTextLengthGivesIoError) {
    ASSERT_NE(open(), nullptr);
    Bytes answer = emu::answerBytes(kCmdCalibration, {});
    emu::appendWord(answer, 0xFFFFFFFFu);
    scriptCalibration(answer);
    EXPECT_EQ(lpRetrieveCalibrationValues(connection_), KELO_ERROR_IO);
    int32_t raw[4] = {};
    double p[3] = {};
    EXPECT_EQ(lpReadScanWindowN(connection_, 0, &raw[0], &raw[1], &raw[2], &raw[3]), KELO_ERROR_IO);
    EXPECT_EQ(lpReadPositionCalibrationN(connection_, 0, &p[0], &p[1], &p[2]), KELO_ERROR_IO);
}

TEST_F(CalibrationTest, IntrinsicUploadOfZerosIsTheFixedMessage) {
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(lpSendIntrinsicCalibrationN(connection_, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
              KELO_OK);
    Bytes expected = bytesOf({0, 0, 0, 0x2A, 0, 0, 0, 0x4E, 0, 0, 0, 0});
    for (int i = 0; i < 14; ++i) {
        const Bytes text = bytesOf({0, 0, 0, 1, 0x30});
        expected.insert(expected.end(), text.begin(), text.end());
    }
    const Bytes trailer = bytesOf({0xAA, 0xAA, 0xAA, 0xAA});
    expected.insert(expected.end(), trailer.begin(), trailer.end());
    ASSERT_EQ(expected.size(), 86u);
    expectReceived(expected);
}

TEST_F(CalibrationTest, IntrinsicUploadTextsAndLaserZeroForm) {
    ASSERT_NE(open(), nullptr);
    // Sent whatever the sync state.
    connection_->syncFlag = 1;
    EXPECT_EQ(lpSendIntrinsicCalibration(connection_, 1e-7, 100.0, -0.25, 2.0 / 3.0, -0.0,
                                         1234567890123.0, 1, 2, 3, 4, 5, 6, 7, 8),
              KELO_OK);
    const std::vector<std::string> texts = {"1e-07", "100", "-0.25", "0.6666666667", "-0",
                                            "1.23456789e+12", "1", "2", "3", "4", "5", "6", "7", "8"};
    std::uint32_t length = 8;
    for (const auto& t : texts) length += 4 + static_cast<std::uint32_t>(t.size());
    Bytes expected;
    emu::appendWord(expected, kCmdIntrinsicCalibration);
    emu::appendWord(expected, length);
    emu::appendWord(expected, 0);
    for (const auto& t : texts) emu::appendCountedString(expected, t);
    emu::appendWord(expected, 0xAAAAAAAAu);
    expectReceived(expected);

    emulator_.clearReceived();
    EXPECT_EQ(lpSendIntrinsicCalibrationN(connection_, 0, 1e-7, 100.0, -0.25, 2.0 / 3.0, -0.0,
                                          1234567890123.0, 1, 2, 3, 4, 5, 6, 7, 8),
              KELO_OK);
    expectReceived(expected);
    EXPECT_EQ(lpSendIntrinsicCalibration(nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
              KELO_ERROR_ARGUMENT);
}

TEST_F(CalibrationTest, IntrinsicValuesComeBackAsTransformParameters) {
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(lpSendIntrinsicCalibrationN(connection_, 0, 1.5, -2.25, 3e-9, 4, 5, 6, 7, 8, 9, 10, 11,
                                          12, 13, 0.1),
              KELO_OK);
    ASSERT_EQ(lpRetrieveCalibrationValues(connection_), KELO_OK);
    Transform t{};
    ASSERT_EQ(getTransform(connection_, 0, t), KELO_OK);
    const double sent[14] = {1.5, -2.25, 3e-9, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 0.1};
    for (int i = 0; i < 14; ++i) EXPECT_EQ(t.p[i], sent[i]) << i;
}

TEST_F(CalibrationTest, IntrinsicUploadToAVanishedPeerFails) {
    ASSERT_NE(open(), nullptr);
    emulator_.stop();
    int32_t result = 0;
    // The first sends may still be buffered; a bounded number of tries
    // reaches the reset.
    for (int i = 0; i < 50 && result == 0; ++i) {
        result = lpSendIntrinsicCalibrationN(connection_, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
        net::sleepMilliseconds(10);
    }
    EXPECT_EQ(result, KELO_ERROR_IO);
}

TEST(DateLine, FormatsTheCLocaleForm) {
    std::tm may{};
    may.tm_year = 2020 - 1900;
    may.tm_mon = 4;
    may.tm_mday = 1;
    may.tm_hour = 9;
    may.tm_min = 5;
    EXPECT_EQ(formatDateLine(may), "Date:.....May 01 2020 09:05 AM");
    std::tm september = may;
    september.tm_mon = 8;
    september.tm_mday = 30;
    september.tm_hour = 12;
    september.tm_min = 59;
    EXPECT_EQ(formatDateLine(september), "Date:.....September 30 2020 12:59 PM");
    std::tm midnight = may;
    midnight.tm_hour = 0;
    EXPECT_EQ(formatDateLine(midnight), "Date:.....May 01 2020 12:05 AM");
    std::tm evening = may;
    evening.tm_hour = 23;
    EXPECT_EQ(formatDateLine(evening), "Date:.....May 01 2020 11:05 PM");
}

// Moments past the 32-bit time limit (January 2038), in any time zone.
TEST(DateLine, ConvertsMomentsAfter2038) {
    const struct {
        std::int64_t seconds;
        const char* date;
    } cases[] = {{2150107200, "February 1[789] 2038"}, {4116744000, "June 1[456] 2100"}};
    for (const auto& c : cases) {
        const std::string line = dateLineAt(c.seconds);
        EXPECT_TRUE(std::regex_match(
            line, std::regex(std::string("Date:\\.{5}") + c.date + " (0[1-9]|1[0-2]):[0-5][0-9] [AP]M")))
            << line;
    }
}

TEST_F(CalibrationTest, PositionUploadCarriesTextsAndTheDateLine) {
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(lpSendPositionCalibrationN(connection_, 3, 0.5, -12.25, 1e-7), KELO_OK);
    ASSERT_TRUE(emulator_.waitForReceived(12 + 7 + 10 + 9 + 4 + 30, 2000));
    const Bytes got = emulator_.received();
    const std::uint32_t dateLength = wire::getWord(got.data() + 12 + 7 + 10 + 9);
    ASSERT_GE(dateLength, 30u);
    ASSERT_LE(dateLength, 36u);
    Bytes expected;
    emu::appendWord(expected, kCmdPositionCalibration);
    emu::appendWord(expected, 4 + 7 + 10 + 9 + 4 + dateLength);
    emu::appendWord(expected, 3);
    emu::appendCountedString(expected, "0.5");
    emu::appendCountedString(expected, "-12.25");
    emu::appendCountedString(expected, "1e-07");
    ASSERT_TRUE(emulator_.waitForReceived(expected.size() + 4 + dateLength, 2000));
    const std::string date(got.begin() + 12 + 7 + 10 + 9 + 4, got.end());
    emu::appendCountedString(expected, date);
    expectReceived(expected);
    EXPECT_TRUE(std::regex_match(
        date, std::regex("Date:\\.{5}(January|February|March|April|May|June|July|August|"
                         "September|October|November|December) (0[1-9]|[12][0-9]|3[01]) "
                         "[0-9]{4} (0[1-9]|1[0-2]):[0-5][0-9] (AM|PM)")))
        << date;
}

TEST_F(CalibrationTest, PositionCallsRefusedWhileSynchronised) {
    ASSERT_NE(open(), nullptr);
    connection_->syncFlag = 1;
    double p[3] = {9, 9, 9};
    OldPositionCalibration entries[2];
    EXPECT_EQ(lpSendPositionCalibrationN(connection_, 0, 1, 2, 3), KELO_ERROR_STATE);
    EXPECT_EQ(lpReadPositionCalibrationN(connection_, 0, &p[0], &p[1], &p[2]), KELO_ERROR_STATE);
    EXPECT_EQ(lpReadOldPositionCalibrationsN(connection_, 0, entries, 2), KELO_ERROR_STATE);
    EXPECT_EQ(p[0], 9);
    EXPECT_EQ(lpSendPositionCalibrationN(nullptr, 0, 1, 2, 3), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpReadPositionCalibrationN(connection_, 0, &p[0], nullptr, &p[2]), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpReadOldPositionCalibrationsN(connection_, 0, nullptr, 2), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpReadOldPositionCalibrationsN(nullptr, 0, entries, 2), KELO_ERROR_ARGUMENT);
    expectReceived({});
}

TEST_F(CalibrationTest, PositionValuesReadBackUnscaled) {
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(lpSendPositionCalibrationN(connection_, 1, 1500.25, -2, 0.000125), KELO_OK);
    double p[3] = {};
    EXPECT_EQ(lpReadPositionCalibrationN(connection_, 1, &p[0], &p[1], &p[2]), KELO_OK);
    EXPECT_EQ(p[0], 1500.25);
    EXPECT_EQ(p[1], -2.0);
    EXPECT_EQ(p[2], 0.000125);
    EXPECT_TRUE(connection_->laserCalibrations.empty());
    // The whole answer was consumed: the next exchange is in step.
    int32_t raw[4] = {};
    EXPECT_EQ(lpReadScanWindowN(connection_, 1, &raw[0], &raw[1], &raw[2], &raw[3]), KELO_OK);
    EXPECT_EQ(raw[3], 120000);
}

TEST_F(CalibrationTest, HistoryRequestIsSixteenBytesAnnouncingFour) {
    ASSERT_NE(open(), nullptr);
    OldPositionCalibration entries[10];
    EXPECT_EQ(lpReadOldPositionCalibrationsN(connection_, 0, entries, 10), 0);
    expectReceived(bytesOf({0, 0, 0, 0x37, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0x0A}));
}

TEST_F(CalibrationTest, HistoryHoldsEarlierUploadsMostRecentFirst) {
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(lpSendPositionCalibrationN(connection_, 0, 1, 2, 3), KELO_OK);
    ASSERT_EQ(lpSendPositionCalibrationN(connection_, 0, 4, 5, 6), KELO_OK);
    ASSERT_TRUE(emulator_.waitForReceived(2 * (12 + 15 + 4 + 30), 2000));
    OldPositionCalibration entries[4];
    std::memset(entries, 0x5A, sizeof entries);
    ASSERT_EQ(lpReadOldPositionCalibrationsN(connection_, 0, entries, 4), 2);
    EXPECT_EQ(entries[0].position[0], 1.0);
    EXPECT_EQ(entries[0].position[2], 3.0);
    EXPECT_EQ(entries[1].position[0], 12.5);  // the factory values
    const std::string date = currentDateLine();
    EXPECT_EQ(std::string(entries[0].text).substr(0, 10), "Date:.....");
    EXPECT_EQ(std::strlen(entries[0].text), std::min<std::size_t>(date.size(), 31));
    EXPECT_EQ(entries[2].text[0], 0x5A);  // not written
    double p[3] = {};
    ASSERT_EQ(lpReadPositionCalibrationN(connection_, 0, &p[0], &p[1], &p[2]), KELO_OK);
    EXPECT_EQ(p[1], 5.0);
}

class ScriptedHistory : public CalibrationTest {
protected:
    // Answers command 55 with count and entries (three texts and a text each).
    void script(std::int32_t count, const std::vector<std::vector<std::string>>& entries,
                bool closeAfter = false) {
        Bytes payload;
        emu::appendWord(payload, static_cast<std::uint32_t>(count));
        for (const auto& entry : entries)
            for (const std::string& t : entry) emu::appendCountedString(payload, t);
        const Bytes answer = emu::answerBytes(kCmdOldPositionCalibrations, payload);
        emulator_.overrideCommand(kCmdOldPositionCalibrations,
                                  [answer, closeAfter](emu::Session& s, const emu::Command&) {
                                      std::uint32_t word = 0;
                                      if (emu::readOldPositionRequestWord(s, &word)) s.sendRaw(answer);
                                      if (closeAfter) s.close();
                                  });
    }
};

TEST_F(ScriptedHistory, CountsBelowOneAreReturnedAndNothingWritten) {
    ASSERT_NE(open(), nullptr);
    OldPositionCalibration entries[2];
    std::memset(entries, 0x5A, sizeof entries);
    script(0, {});
    EXPECT_EQ(lpReadOldPositionCalibrationsN(connection_, 0, entries, 2), 0);
    script(-3, {});
    EXPECT_EQ(lpReadOldPositionCalibrationsN(connection_, 0, entries, 2), -3);
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(entries);
    for (std::size_t i = 0; i < sizeof entries; ++i) ASSERT_EQ(raw[i], 0x5A) << i;
}

TEST_F(ScriptedHistory, LongEntryTextIsCutToThirtyOneCharacters) {
    ASSERT_NE(open(), nullptr);
    const std::string forty(40, 'x');
    script(2, {{"1", "2", "3", forty}, {"7.25", "", "-1", "short"}});
    OldPositionCalibration entries[2];
    std::memset(entries, 0x5A, sizeof entries);
    entries[1].position[1] = 42.0;
    ASSERT_EQ(lpReadOldPositionCalibrationsN(connection_, 0, entries, 2), 2);
    EXPECT_EQ(std::string(entries[0].text), std::string(31, 'x'));
    EXPECT_EQ(entries[0].text[31], '\0');
    EXPECT_EQ(entries[1].position[0], 7.25);
    EXPECT_EQ(entries[1].position[1], 42.0);
    EXPECT_EQ(entries[1].position[2], -1.0);
    EXPECT_EQ(std::string(entries[1].text), "short");
    for (int i = 6; i < 32; ++i) EXPECT_EQ(entries[1].text[i], '\0') << i;
}

// A scanner that answers with more entries than the caller asked for must
// not make the library write past the caller's array.
TEST_F(ScriptedHistory, EntriesBeyondTheCapacityAreReadButNotWritten) {
    ASSERT_NE(open(), nullptr);
    std::vector<std::vector<std::string>> five;
    for (int i = 0; i < 5; ++i) five.push_back({std::to_string(i), "0", "0", "entry"});
    script(5, five);
    OldPositionCalibration entries[3];
    std::memset(entries, 0x5A, sizeof entries);
    EXPECT_EQ(lpReadOldPositionCalibrationsN(connection_, 0, entries, 2), 2);
    EXPECT_EQ(entries[0].position[0], 0.0);
    EXPECT_EQ(entries[1].position[0], 1.0);
    const unsigned char* guard = reinterpret_cast<const unsigned char*>(&entries[2]);
    for (std::size_t i = 0; i < sizeof entries[2]; ++i) ASSERT_EQ(guard[i], 0x5A) << i;
    // Capacity 0 reads the count only into nothing.
    EXPECT_EQ(lpReadOldPositionCalibrationsN(connection_, 0, nullptr, 0), 0);
    // The connection is still in step.
    int32_t raw[4] = {};
    EXPECT_EQ(lpReadScanWindowN(connection_, 0, &raw[0], &raw[1], &raw[2], &raw[3]), KELO_OK);
    EXPECT_EQ(raw[0], -50000);
}

TEST_F(ScriptedHistory, CutEntryGivesIoError) {
    ASSERT_NE(open(), nullptr);
    script(3, {{"1", "2", "3", "a"}, {"4", "5"}}, true);
    OldPositionCalibration entries[3] = {};
    // The answer stops inside the second entry and the peer closes.
    EXPECT_EQ(lpReadOldPositionCalibrationsN(connection_, 0, entries, 3), KELO_ERROR_IO);
    EXPECT_EQ(entries[0].position[1], 2.0);
    EXPECT_EQ(entries[1].position[1], 5.0);
}

}  // namespace
}  // namespace kelo::test
