// SPDX-License-Identifier: Apache-2.0
// Parameter uploads, the scanner's error messages, and parameter files.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "support/emulator_fixture.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

namespace fs = std::filesystem;
using emu::Bytes;

Bytes uploadBytes(const std::string& text, int times = 1) {
    Bytes bytes;
    for (int i = 0; i < times; ++i) {
        emu::appendWord(bytes, kCmdSendParameters);
        emu::appendWord(bytes, static_cast<std::uint32_t>(text.size()));
        bytes.insert(bytes.end(), text.begin(), text.end());
    }
    return bytes;
}

// A rejection answer with the given raw messages.
Bytes rejection(const std::vector<std::string>& messages) {
    Bytes payload;
    emu::appendWord(payload, static_cast<std::uint32_t>(messages.size()));
    for (const std::string& m : messages) emu::appendCountedString(payload, m);
    return emu::answerBytes(kAnswerParameterErrors, payload);
}

std::vector<std::string> messagesOf(ScannerConnection* connection) {
    std::vector<std::string> messages;
    const int32_t count = lpGetNumberOfErrorMessages(connection);
    for (int32_t i = 0; i < count; ++i) {
        const char* text = lpGetErrorMessage(connection, static_cast<uint32_t>(i));
        messages.push_back(text ? text : "<null>");
    }
    return messages;
}

// Text mode on both sides, as the library uses: line ends read back as LF
// wherever the platform translates them.
std::string readFile(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

class ParametersTest : public ConnectedTest {
protected:
    void SetUp() override {
        ConnectedTest::SetUp();
        directory_ = fs::temp_directory_path() /
                     ("kelo_parameters_" + std::to_string(getpid()) + "_" + address_);
        fs::create_directories(directory_);
    }
    void TearDown() override {
        EmulatorTest::TearDown();
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    // Leaves the connection's list holding the emulator's messages for a
    // bad upload, so later checks can see whether the list was touched.
    void fillListWithRejection() {
        ASSERT_EQ(lpSendParametersToScanner(connection_, "Bogus = 1\n"), KELO_ERROR_STATE);
        ASSERT_EQ(messagesOf(connection_),
                  std::vector<std::string>{"line 1: unknown parameter Bogus"});
        emulator_.clearReceived();
    }

    void scriptUploadAnswer(const Bytes& answer, bool closeAfter = false) {
        emulator_.overrideCommand(kCmdSendParameters,
                                  [answer, closeAfter](emu::Session& s, const emu::Command&) {
                                      s.sendRaw(answer);
                                      if (closeAfter) s.close();
                                  });
    }

    fs::path directory_;
};

// The text goes out verbatim behind its length; the empty text is the
// header alone. A file's text goes out up to its first NUL.
TEST_F(ParametersTest, AcceptedTextIsSentVerbatim) {
    EXPECT_EQ(lpSendParametersToScanner(connection_, ""), KELO_OK);
    expectReceived(bytesOf({0x00, 0x00, 0x00, 0x12, 0x00, 0x00, 0x00, 0x00}));
    const std::string text = "# comment\r\nExposureTime = 800\nGain=4\n";
    const fs::path path = directory_ / "file.txt";
    for (const auto& [content, sent] : {std::pair<std::string, std::string>{text, text},
                                        {std::string("Gain = 2\n\0Gain = 3\n", 19), "Gain = 2\n"}, {"", ""}}) {
        SCOPED_TRACE(sent);
        emulator_.clearReceived();
        EXPECT_EQ(lpSendParametersToScanner(connection_, content.c_str()), KELO_OK);
        writeFile(path, content);
        EXPECT_EQ(lpSendParameterFileToScanner(connection_, path.string().c_str()), KELO_OK);
        expectReceived(uploadBytes(sent, 2));
    }
    EXPECT_EQ(lpGetNumberOfErrorMessages(connection_), 0);
}

// What one upload's messages may hold is bounded; past the bound the rest
// of the answer is read and dropped, so the connection stays in step.
TEST_F(ParametersTest, MessagesBeyondTheBoundAreDrainedAndRefused) {
    const std::string mebibyte(1u << 20, 'm');
    scriptUploadAnswer(rejection(std::vector<std::string>(17, mebibyte)));
    EXPECT_EQ(lpSendParametersToScanner(connection_, "x"), KELO_ERROR_IO);
    EXPECT_EQ(lpGetNumberOfErrorMessages(connection_), 16);
    emulator_.clearOverrides();
    EXPECT_EQ(lpSendParametersToScanner(connection_, "Gain = 2"), KELO_OK);
}

// End never empties the list, and an accepting answer's announced payload
// is not consumed: here it is itself a rejection that a second End reads.
TEST_F(ParametersTest, EndAppendsAndLeavesAcceptedPayloadUnread) {
    Bytes answers = rejection({"first", "second"});
    const Bytes third = rejection({"third"});
    emu::appendWord(answers, kCmdSendParameters);
    emu::appendWord(answers, static_cast<std::uint32_t>(third.size()));
    answers.insert(answers.end(), third.begin(), third.end());
    scriptUploadAnswer(answers);

    ASSERT_EQ(lpBeginSendParametersToScanner(connection_, "x"), KELO_OK);
    EXPECT_EQ(lpEndSendParametersToScanner(connection_), KELO_ERROR_STATE);
    // Handed-out texts stay where they are while later messages are appended.
    const char* first = lpGetErrorMessage(connection_, 0);
    EXPECT_EQ(lpEndSendParametersToScanner(connection_), KELO_OK);
    EXPECT_EQ(lpEndSendParametersToScanner(connection_), KELO_ERROR_STATE);
    EXPECT_EQ(messagesOf(connection_), (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ(lpGetErrorMessage(connection_, 0), first);
    EXPECT_STREQ(first, "first");
    // The next upload starts a fresh list.
    emulator_.clearOverrides();
    EXPECT_EQ(lpSendParametersToScanner(connection_, "Gain = 2"), KELO_OK);
    EXPECT_EQ(lpGetNumberOfErrorMessages(connection_), 0);
}

// Each rejection replaces the list. Messages are cut at an embedded NUL;
// a count below one leaves none; an answer cut short, or with a count or
// length beyond what can be held, is an I/O error keeping whole messages only.
TEST_F(ParametersTest, RejectionAnswers) {
    std::string padded(100000, 'p');
    padded[0] = '\0';
    const auto payload = [](const std::vector<std::string>& messages) {
        const Bytes answer = rejection(messages);
        return Bytes(answer.begin() + 8, answer.end());
    };
    Bytes cut = payload({"complete"});
    wire::putWord(cut.data(), 2);  // announce a second message
    emu::appendWord(cut, 10);
    cut.push_back('p');
    const struct {
        Bytes payload;
        std::int32_t result;
        std::vector<std::string> kept;
    } cases[] = {
        {payload({"a", "bc", std::string("de\0fg", 5), "", padded}), KELO_ERROR_STATE, {"a", "bc", "de", "", ""}},
        {bytesOf({0, 0, 0, 0}), KELO_ERROR_STATE, {}},
        {bytesOf({0xFF, 0xFF, 0xFF, 0xFB}), KELO_ERROR_STATE, {}},
        {cut, KELO_ERROR_IO, {"complete"}},
        {bytesOf({0x7F, 0xFF, 0xFF, 0xFF}), KELO_ERROR_IO, {}},
        {bytesOf({0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF}), KELO_ERROR_IO, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(hex(Bytes(c.payload.begin(), c.payload.begin() + 4)));
        emulator_.clearOverrides();
        lpCloseConnection(connection_);
        ASSERT_NE(open(), nullptr);
        fillListWithRejection();
        scriptUploadAnswer(emu::answerBytes(kAnswerParameterErrors, c.payload), true);
        EXPECT_EQ(lpSendParametersToScanner(connection_, "x"), c.result);
        EXPECT_EQ(messagesOf(connection_), c.kept);
        EXPECT_EQ(lpGetErrorMessage(connection_, std::uint32_t(c.kept.size())), nullptr);
        // Only the text is kept, not the buffer its count asked for.
        for (const auto& message : connection_->errorMessages) EXPECT_LT(message.capacity(), 64u);
    }
}

TEST_F(ParametersTest, NullArgumentsAndSyncStateChangeNothing) {
    fillListWithRejection();
    const std::string path = (directory_ / "p.txt").string(), fetched = (directory_ / "fetched.txt").string();
    writeFile(path, "Gain = 2\n");
    ScannerConnection* c = connection_;
    expectAll(KELO_ERROR_ARGUMENT,
              {lpSendParametersToScanner(nullptr, "x"), lpSendParametersToScanner(c, nullptr),
               lpBeginSendParametersToScanner(c, nullptr), lpEndSendParametersToScanner(nullptr),
               lpSendParameterFileToScanner(c, nullptr), lpSendParameterFileToScanner(nullptr, path.c_str()),
               lpGetParameterFileFromScanner(c, nullptr), lpGetParameterFileFromScanner(nullptr, path.c_str())});
    c->syncFlag = 1;
    expectAll(KELO_ERROR_STATE,
              {lpSendParametersToScanner(c, "Gain = 2"), lpBeginSendParametersToScanner(c, "Gain = 2"),
               lpEndSendParametersToScanner(c), lpSendParameterFileToScanner(c, path.c_str()),
               lpBeginSendParameterFileToScanner(c, "/nope"), lpGetParameterFileFromScanner(c, fetched.c_str())});
    EXPECT_FALSE(fs::exists(fetched));
    EXPECT_EQ(messagesOf(c), std::vector<std::string>{"line 1: unknown parameter Bogus"});
    expectReceived({});
}

// Files that cannot be opened, and sizes the upload's length word cannot
// carry (in a 32-bit process also those one buffer cannot hold, from
// 2 GiB - 1), give one message and send nothing. Sparse files: no data blocks.
TEST_F(ParametersTest, FilesThatCannotBeSentGiveOneMessageUnsent) {
    fillListWithRejection();
    std::vector<std::pair<std::string, std::string>> cases = {
        {directory_.string(), "Couldn't open local parameter file: " + directory_.string()}};
    std::vector<std::uint64_t> sizes = {0x100000000ull, 0x100000001ull};
    if (sizeof(void*) == 4) sizes.insert(sizes.end(), {0x7FFFFFFFull, 0x80000000ull, 0xFFFFFFFFull});
    for (const std::uint64_t size : sizes) {
        const fs::path path = directory_ / ("huge_" + std::to_string(size) + ".txt");
        writeFile(path, "");
        std::error_code error;
        fs::resize_file(path, size, error);
        if (error) GTEST_SKIP() << "cannot make a sparse file of " << size << " bytes here";
        cases.push_back({path.string(), "Local parameter file too large: " + path.string()});
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const char* file = cases[i].first.c_str();
        EXPECT_EQ(i % 2 ? lpBeginSendParameterFileToScanner(connection_, file)
                        : lpSendParameterFileToScanner(connection_, file),
                  KELO_ERROR_STATE) << file;
        EXPECT_EQ(messagesOf(connection_), std::vector<std::string>{cases[i].second});
    }
    expectReceived({});
}

// The fetched text is written whole, NUL bytes included; an empty one
// leaves an empty file. A fetch that cannot write its file, or fails, leaves
// files alone; one that cannot write still consumes the whole answer, so the
// next exchange reads its own.
TEST_F(ParametersTest, FetchWritesTheTextAsSent) {
    const fs::path path = directory_ / "fetched.txt", nowhere = directory_ / "no_such_dir" / "fetched.txt";
    fillListWithRejection();
    EXPECT_EQ(lpGetParameterFileFromScanner(connection_, nowhere.string().c_str()), KELO_ERROR_STATE);
    EXPECT_FALSE(fs::exists(nowhere));
    EXPECT_EQ(lpGetNumberOfErrorMessages(connection_), 1);
    ASSERT_EQ(lpSendParametersToScanner(connection_, "Gain = 2\n"), KELO_OK);
    for (const std::string& text : {std::string("A = 1\n\0B", 8), std::string()}) {
        emulator_.clearReceived();
        answerWith(kCmdParameterFile, emu::answerBytes(kCmdParameterFile, Bytes(text.begin(), text.end())));
        ASSERT_EQ(lpGetParameterFileFromScanner(connection_, path.string().c_str()), KELO_OK);
        expectReceived(bytesOf({0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00}));
        EXPECT_EQ(readFile(path), text);
    }
    emulator_.clearOverrides();
    writeFile(path, "old contents\n");
    emulator_.setFault(emu::Fault::ShortAnswer);
    EXPECT_EQ(lpGetParameterFileFromScanner(connection_, path.string().c_str()), KELO_ERROR_IO);
    EXPECT_EQ(readFile(path), "old contents\n");
}

}  // namespace
}  // namespace kelo::test
