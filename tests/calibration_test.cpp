// SPDX-License-Identifier: Apache-2.0
// The calibration store, intrinsic and position uploads, position history.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "config/calibration_store.h"
#include "config/date_line.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "emulator/calibration_state.h"
#include "support/emulator_fixture.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

using emu::Bytes;
using Doubles = std::vector<double>;

// A command 47 answer from 17 texts, empty ones numbered "1.5" to "17.5", and 6 words.
Bytes calibrationAnswer(const std::vector<std::int32_t>& words, std::vector<std::string> texts = {}) {
    texts.resize(17);
    for (int i = 0; i < 17; ++i) texts[i] = texts[i].empty() ? std::to_string(i + 1) + ".5" : texts[i];
    Bytes payload;
    for (const std::string& t : texts) emu::appendCountedString(payload, t);
    for (std::int32_t w : words) emu::appendWord(payload, static_cast<std::uint32_t>(w));
    return emu::answerBytes(kCmdCalibration, payload);
}

// Word, length, laser, counted texts, trailer: the upload as the scanner reads it.
Bytes upload(std::uint32_t code, std::uint32_t laser, const std::vector<std::string>& texts,
             bool trailer) {
    Bytes body = words({laser});
    for (const auto& t : texts) emu::appendCountedString(body, t);
    if (trailer) emu::appendWord(body, 0xAAAAAAAAu);
    return emu::answerBytes(code, body);
}

Doubles transform(ScannerConnection* c, int32_t laser, int32_t expected = KELO_OK) {
    double p[14] = {};
    EXPECT_EQ(lpGetTransformParametersN(c, laser, p, p + 1, p + 2, p + 3, p + 4, p + 5, p + 6, p + 7,
                                        p + 8, p + 9, p + 10, p + 11, p + 12, p + 13),
              expected);
    return Doubles(p, p + 14);
}

class CalibrationTest : public ConnectedTest {
protected:
    template <typename F>
    void withLaser(std::uint32_t index, F change) {
        auto& state = emulator_.state<emu::CalibrationState>();
        std::lock_guard<std::mutex> lock(state.mutex);
        change(state.laser(index));
    }
    // A fresh connection whose calibration answer is these bytes, then a close.
    void reopenWithCutAnswer(const Bytes& answer) {
        lpCloseConnection(connection_);
        ASSERT_NE(open(), nullptr);
        emulator_.overrideCommand(kCmdCalibration, [answer](emu::Session& s, const emu::Command&) {
            s.sendRaw(answer);
            s.close();
        });
    }
    // Answers command 55 with count and entries (three texts and a text each).
    void scriptHistory(std::int32_t count, const std::vector<std::vector<std::string>>& entries, bool hangUp = false) {
        Bytes payload = words({static_cast<std::uint32_t>(count)});
        for (const auto& entry : entries)
            for (const std::string& t : entry) emu::appendCountedString(payload, t);
        const Bytes answer = emu::answerBytes(kCmdOldPositionCalibrations, payload);
        emulator_.overrideCommand(kCmdOldPositionCalibrations, [answer, hangUp](emu::Session& s, const emu::Command&) {
            std::uint32_t word = 0;
            if (emu::readOldPositionRequestWord(s, &word)) s.sendRaw(answer);
            if (hangUp) s.close();
        });
    }
};

// Null arguments, nothing retrieved yet, or the synchronised state: the
// call fails, sends nothing and leaves its out-parameters alone.
TEST_F(CalibrationTest, RefusalsSendNothing) {
    ScannerConnection* c = connection_;
    struct { double w[4], p[14]; int32_t r[4]; OldPositionCalibration e[2]; } outs;
    std::memset(&outs, 0x5A, sizeof outs);
    auto& [w, p, r, e] = outs;
    expectAll(KELO_ERROR_ARGUMENT,
              {lpGetTransformParametersN(c, 0, p, p, p, p, p, p, p, p, p, p, p, p, p, nullptr),
               lpGetScanWindow(c, &w[0], nullptr, &w[2], &w[3]), lpGetLaserCount(nullptr),
               lpGetScanWindow(nullptr, &w[0], &w[1], &w[2], &w[3]), lpRetrieveCalibrationValues(nullptr),
               lpReadScanWindowN(c, 0, &r[0], &r[1], nullptr, &r[3]), lpSendPositionCalibrationN(nullptr, 0, 1, 2, 3),
               lpReadPositionCalibrationN(c, 0, &p[0], nullptr, &p[2]),
               lpReadOldPositionCalibrationsN(c, 0, nullptr, 2), lpReadOldPositionCalibrationsN(nullptr, 0, e, 2),
               lpSendIntrinsicCalibration(nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)});
    // Nothing retrieved yet, then the synchronised state.
    expectAll(KELO_ERROR_STATE, {lpGetLaserCount(c), lpGetScanWindow(c, &w[0], &w[1], &w[2], &w[3]),
                                 lpGetTransformParametersN(c, 0, p, p, p, p, p, p, p, p, p, p, p, p, p, p)});
    c->syncFlag = 1;
    expectAll(KELO_ERROR_STATE,
              {lpReadScanWindowN(c, 0, &r[0], &r[1], &r[2], &r[3]), lpSendPositionCalibrationN(c, 0, 1, 2, 3),
               lpReadPositionCalibrationN(c, 0, &p[0], &p[1], &p[2]), lpReadOldPositionCalibrationsN(c, 0, e, 2)});
    EXPECT_TRUE(untouchedBytes(&outs, 0, sizeof outs, 0x5A));
    // Retrieval does not depend on the sync state; its request is all that was sent.
    EXPECT_EQ(lpRetrieveCalibrationValues(c), KELO_OK);
    expectReceived(words({kCmdCalibration, 4, 0}));
}

// The window's words in their order on the wire, signed, in thousandths.
TEST_F(CalibrationTest, RetrievalAsksForEachReportedLaserAndStoresItsValues) {
    emulator_.config().laserCount = 2;
    // Computed once: where a fused multiply-add exists (arm64, s390x) the
    // compiler may fuse one evaluation of the expression and not another.
    double values[14];
    withLaser(1, [&values](emu::EmulatedLaserCalibration& l) {
        for (int i = 0; i < 14; ++i) l.transform[i] = values[i] = 0.1 * (i + 1) - 0.7;
        std::copy_n(std::vector<std::int32_t>{-1500, 2, -3, 2147483647}.begin(), 4, l.scanWindow);
    });
    withLaser(0, [](auto& l) { std::copy_n(std::vector<int32_t>{-1500, 2000, 3000, 4000}.begin(), 4, l.scanWindow); });
    // The direct read leaves the store alone.
    int32_t raw[4] = {};
    EXPECT_EQ(lpReadScanWindowN(connection_, 1, &raw[0], &raw[1], &raw[2], &raw[3]), KELO_OK);
    EXPECT_EQ(std::vector<int32_t>(raw, raw + 4), (std::vector<int32_t>{-1500, 2, -3, 2147483647}));
    EXPECT_TRUE(connection_->laserCalibrations.empty());
    EXPECT_EQ(lpRetrieveCalibrationValues(connection_), KELO_OK);
    expectReceived(words({kCmdCalibration, 4, 1, kCmdCalibration, 4, 0, kCmdCalibration, 4, 1}));
    EXPECT_EQ(lpGetLaserCount(connection_), 2);
    double w[4] = {};
    EXPECT_EQ(lpGetScanWindow(connection_, &w[0], &w[1], &w[2], &w[3]), KELO_OK);
    EXPECT_EQ(Doubles(w, w + 4), (Doubles{-1.5, 3.0, 4.0, 2.0}));
    const Doubles got = transform(connection_, 1);
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(got[i], std::strtod(emu::calibrationText(values[i]).c_str(), nullptr)) << i;
    transform(connection_, 2, KELO_ERROR_STATE);
    const kelo::LaserCalibration& laser0 = connection_->laserCalibrations.at(0);
    EXPECT_EQ((Doubles{laser0.positionCalibration[0], double(laser0.spareWord)}), (Doubles{12.5, 7}));
}

TEST_F(CalibrationTest, LaserCountOutsideTheIndexTableIsBounded) {
    for (int count : {0, -4, 1, 3, 7, 0x7FFFFFFF}) {
        emulator_.config().laserCount = count;
        lpCloseConnection(connection_);
        ASSERT_NE(open(), nullptr);
        const std::size_t before = emulator_.commandCount(kCmdCalibration);
        EXPECT_EQ(lpRetrieveCalibrationValues(connection_), KELO_OK) << count;
        const std::size_t expected = count <= 1 ? 1 : count >= 3 ? 3 : std::size_t(count);
        EXPECT_EQ(emulator_.commandCount(kCmdCalibration) - before, expected) << count;
        EXPECT_EQ(lpGetLaserCount(connection_), count);
        EXPECT_EQ(connection_->laserCalibrations.size(), expected);
    }
}

// Each text gives its leading number, read up to a NUL; one without a number
// keeps the value held.
TEST_F(CalibrationTest, NumberTextsParseAsTheirLeadingNumber) {
    std::vector<std::string> texts(17), second(17, "oops");
    texts[5] = std::string("3\0 9", 4);
    second[3] = "1";
    for (const auto& sent : {texts, second}) {
        answerWith(kCmdCalibration, calibrationAnswer({0, 1, 0, 0, 0, 0}, sent));
        ASSERT_EQ(lpRetrieveCalibrationValues(connection_), KELO_OK);
    }
    const Doubles got = transform(connection_, 0);
    EXPECT_EQ((Doubles{got[0], got[1], got[2], got[13]}), (Doubles{1.0, 5.5, 3.0, 17.5}));
}

TEST_F(CalibrationTest, CutOrLyingAnswers) {
    // Cut after three texts: what arrived whole is kept, the count is not.
    Bytes answer = calibrationAnswer({0, 3, 0, 0, 0, 0});
    answer.resize(8 + 3 * 7 + 2);
    reopenWithCutAnswer(answer);
    EXPECT_EQ(lpRetrieveCalibrationValues(connection_), KELO_ERROR_IO);
    EXPECT_EQ(lpGetLaserCount(connection_), 0);
    const kelo::LaserCalibration& laser0 = connection_->laserCalibrations.at(0);
    EXPECT_EQ((Doubles{laser0.positionCalibration[2], laser0.transformParameters[0]}), (Doubles{3.5, 0}));
    // Cut inside the header: no record.
    reopenWithCutAnswer(bytesOf({0, 0, 0, 0x2F, 0, 0}));
    EXPECT_EQ(lpRetrieveCalibrationValues(connection_), KELO_ERROR_IO);
    EXPECT_EQ(lpGetLaserCount(connection_), KELO_ERROR_STATE);
    // A text length beyond any bound, for each reader of the answer.
    reopenWithCutAnswer({});
    answerWith(kCmdCalibration, words({kCmdCalibration, 0, 0xFFFFFFFFu}));
    EXPECT_EQ(lpRetrieveCalibrationValues(connection_), KELO_ERROR_IO);
    int32_t raw[4] = {};
    double p[3] = {};
    EXPECT_EQ(lpReadScanWindowN(connection_, 0, &raw[0], &raw[1], &raw[2], &raw[3]), KELO_ERROR_IO);
    EXPECT_EQ(lpReadPositionCalibrationN(connection_, 0, &p[0], &p[1], &p[2]), KELO_ERROR_IO);
}

// Fourteen "%.10g" texts between the laser word and the AA trailer, in
// either sync state; only laser 0 exists.
TEST_F(CalibrationTest, IntrinsicUploadBytesAndResults) {
    ScannerConnection* c = connection_;
    c->syncFlag = 1;
    const Bytes values = upload(kCmdIntrinsicCalibration, 0, {"1e-07", "100", "-0.25", "0.6666666667", "-0",
                                "1.23456789e+12", "1", "2", "3", "4", "5", "6", "7", "8"}, true);
    ASSERT_EQ(hex(Bytes(values.begin(), values.begin() + 13)), "00 00 00 2A 00 00 00 71 00 00 00 00 00");
    EXPECT_EQ(lpSendIntrinsicCalibration(c, 1e-7, 100.0, -0.25, 2.0 / 3.0, -0.0, 1234567890123.0, 1, 2, 3, 4,
                                         5, 6, 7, 8), KELO_OK);
    EXPECT_EQ(lpSendIntrinsicCalibrationN(c, 0, 1e-7, 100.0, -0.25, 2.0 / 3.0, -0.0, 1234567890123.0, 1, 2, 3,
                                          4, 5, 6, 7, 8), KELO_OK);
    Bytes twice = values;
    twice.insert(twice.end(), values.begin(), values.end());
    expectReceived(twice);
    // The scanner keeps what the texts say.
    c->syncFlag = 0;
    ASSERT_EQ(lpRetrieveCalibrationValues(c), KELO_OK);
    EXPECT_EQ(transform(c, 0), (Doubles{1e-7, 100, -0.25, 0.6666666667, -0.0, 1.23456789e12, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(DateLine, FormatsTheCLocaleForm) {
    const struct { int mon, mday, hour, min; const char* line; } cases[] = {
        {4, 1, 9, 5, "Date:.....May 01 2020 09:05 AM"}, {8, 30, 12, 59, "Date:.....September 30 2020 12:59 PM"},
        {4, 1, 0, 5, "Date:.....May 01 2020 12:05 AM"}, {4, 1, 23, 5, "Date:.....May 01 2020 11:05 PM"},
    };
    for (const auto& c : cases) {
        std::tm moment{};
        std::tie(moment.tm_year, moment.tm_mon, moment.tm_mday, moment.tm_hour, moment.tm_min) =
            std::make_tuple(2020 - 1900, c.mon, c.mday, c.hour, c.min);
        EXPECT_EQ(formatDateLine(moment), c.line);
    }
    // Moments past the 32-bit time limit (January 2038), in any time zone.
    const std::pair<std::int64_t, const char*> later[] = {
        {2150107200, "Date:\\.{5}February 1[789] 2038 (0[1-9]|1[0-2]):[0-5][0-9] [AP]M"},
        {4116744000, "Date:\\.{5}June 1[456] 2100 (0[1-9]|1[0-2]):[0-5][0-9] [AP]M"}};
    for (const auto& [seconds, pattern] : later)
        EXPECT_TRUE(std::regex_match(dateLineAt(seconds), std::regex(pattern))) << dateLineAt(seconds);
}

// An upload is the laser word, the three numbers and the date line as
// counted texts; the history holds the earlier values, most recent first.
TEST_F(CalibrationTest, PositionUploadAndHistory) {
    OldPositionCalibration entries[10];
    EXPECT_EQ(lpReadOldPositionCalibrationsN(connection_, 0, entries, 10), 0);
    expectReceived(bytesOf({0, 0, 0, 0x37, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0x0A}));
    emulator_.clearReceived();
    const std::string before = currentDateLine();
    EXPECT_EQ(lpSendPositionCalibrationN(connection_, 0, 0.5, -12.25, 1e-7), KELO_OK);
    const std::size_t texts = 12 + 7 + 10 + 9;
    ASSERT_TRUE(emulator_.waitForReceived(texts + 4 + 30, 2000));
    const std::uint32_t dateLength = wire::getWord(emulator_.received().data() + texts);
    ASSERT_TRUE(dateLength >= 30u && dateLength <= 36u) << dateLength;
    ASSERT_TRUE(emulator_.waitForReceived(texts + 4 + dateLength, 2000));
    const Bytes got = emulator_.received();
    const std::string date(got.begin() + texts + 4, got.end());
    expectReceived(upload(kCmdPositionCalibration, 0, {"0.5", "-12.25", "1e-07", date}, false));
    EXPECT_TRUE(date == before || date == currentDateLine()) << date;  // the clock's minute, now or at the send
    ASSERT_EQ(lpSendPositionCalibrationN(connection_, 0, 1500.25, -2, 0.000125), KELO_OK);
    std::memset(entries, 0x5A, sizeof entries);
    ASSERT_EQ(lpReadOldPositionCalibrationsN(connection_, 0, entries, 4), 2);
    EXPECT_EQ((Doubles{entries[0].position[1], entries[1].position[0]}), (Doubles{-12.25, 12.5}));  // 12.5: factory
    EXPECT_EQ(std::string(entries[0].text), date.substr(0, 31));
    EXPECT_EQ(entries[2].text[0], 0x5A);  // not written
}

// Entry texts are cut to 31 characters. A scanner that answers with more
// entries than the caller asked for must not make the library write past the
// caller's array; counts below one are returned with nothing written.
TEST_F(CalibrationTest, HistoryEntriesBeyondTheCapacityOrCutAreNotWritten) {
    OldPositionCalibration history[3];
    scriptHistory(2, {{"1", "2", "3", std::string(40, 'x')}, {"7.25", "", "-1", "short"}});
    std::memset(history, 0x5A, sizeof history);
    history[1].position[1] = 42.0;
    ASSERT_EQ(lpReadOldPositionCalibrationsN(connection_, 0, history, 2), 2);
    EXPECT_EQ(std::string(history[0].text, 32), std::string(31, 'x') + '\0');
    EXPECT_EQ(Doubles(history[1].position, history[1].position + 3), (Doubles{7.25, 42.0, -1.0}));
    EXPECT_EQ(std::string(history[1].text, 32), "short" + std::string(27, '\0'));
    std::memset(history, 0x5A, sizeof history);
    for (std::int32_t count : {0, -3}) {
        scriptHistory(count, {});
        EXPECT_EQ(lpReadOldPositionCalibrationsN(connection_, 0, history, 2), count);
    }
    EXPECT_TRUE(untouchedBytes(history, 0, sizeof history, 0x5A));
    std::vector<std::vector<std::string>> five;
    for (int i = 0; i < 5; ++i) five.push_back({std::to_string(i), "0", "0", "entry"});
    scriptHistory(5, five);
    EXPECT_EQ(lpReadOldPositionCalibrationsN(connection_, 0, history, 2), 2);
    EXPECT_EQ((Doubles{history[0].position[0], history[1].position[0]}), (Doubles{0, 1}));
    EXPECT_TRUE(untouchedBytes(history, 2 * sizeof history[0], sizeof history, 0x5A));
    // Capacity 0 reads the count only into nothing.
    EXPECT_EQ(lpReadOldPositionCalibrationsN(connection_, 0, nullptr, 0), 0);
    // The connection is still in step.
    int32_t raw[4] = {};
    EXPECT_EQ(lpReadScanWindowN(connection_, 0, &raw[0], &raw[1], &raw[2], &raw[3]), KELO_OK);
    EXPECT_EQ(raw[0], -50000);
    // An answer that stops inside the second entry, the peer gone: whole
    // entries are kept.
    scriptHistory(3, {{"1", "2", "3", "a"}, {"4", "5"}}, true);
    EXPECT_EQ(lpReadOldPositionCalibrationsN(connection_, 0, history, 3), KELO_ERROR_IO);
    EXPECT_EQ((Doubles{history[0].position[1], history[1].position[1]}), (Doubles{2, 5}));
}

}  // namespace
}  // namespace kelo::test
