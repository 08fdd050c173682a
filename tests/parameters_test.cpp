// Parameter uploads, the scanner's error messages, and parameter files.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "emulator/parameter_state.h"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

namespace fs = std::filesystem;
using emu::Bytes;

Bytes uploadBytes(const std::string& text) {
    Bytes bytes;
    emu::appendWord(bytes, kCmdSendParameters);
    emu::appendWord(bytes, static_cast<std::uint32_t>(text.size()));
    bytes.insert(bytes.end(), text.begin(), text.end());
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

class ParametersTest : public EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
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

    void scriptUploadAnswer(const Bytes& answer) {
        emulator_.overrideCommand(kCmdSendParameters,
                                  [answer](emu::Session& s, const emu::Command&) { s.sendRaw(answer); });
    }

    fs::path directory_;
};

TEST_F(ParametersTest, EmptyTextSendsOnlyTheHeaderAndIsAccepted) {
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(lpSendParametersToScanner(connection_, ""), KELO_OK);
    expectReceived(bytesOf({0x00, 0x00, 0x00, 0x12, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(lpGetNumberOfErrorMessages(connection_), 0);
}

TEST_F(ParametersTest, AcceptedTextIsSentVerbatimAndTakesEffect) {
    ASSERT_NE(open(), nullptr);
    const std::string text = "# comment\r\nExposureTime = 800\nGain=4\n";
    EXPECT_EQ(lpSendParametersToScanner(connection_, text.c_str()), KELO_OK);
    expectReceived(uploadBytes(text));
    std::lock_guard<std::mutex> lock(emulator_.state<emu::ParameterState>().mutex);
    EXPECT_EQ(emulator_.state<emu::ParameterState>().values["ExposureTime"], 800);
    EXPECT_EQ(emulator_.state<emu::ParameterState>().values["Gain"], 4);
}

TEST_F(ParametersTest, RejectionKeepsEveryMessageInOrderAndChangesNothing) {
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(lpSendParametersToScanner(connection_, "Gain = 3\nColour = red\nGain = 99\nnonsense\n"),
              KELO_ERROR_STATE);
    EXPECT_EQ(messagesOf(connection_),
              (std::vector<std::string>{"line 2: unknown parameter Colour",
                                        "line 3: Gain must be an integer from 1 to 16",
                                        "line 4: expected Name = Value"}));
    EXPECT_EQ(lpGetErrorMessage(connection_, 3), nullptr);
    std::lock_guard<std::mutex> lock(emulator_.state<emu::ParameterState>().mutex);
    EXPECT_EQ(emulator_.state<emu::ParameterState>().values["Gain"], 1);
}

TEST_F(ParametersTest, MessagesAreCutAtAnEmbeddedNul) {
    ASSERT_NE(open(), nullptr);
    std::string padded(100000, 'p');
    padded[0] = '\0';
    scriptUploadAnswer(rejection({"a", "bc", std::string("de\0fg", 5), "", padded}));
    EXPECT_EQ(lpSendParametersToScanner(connection_, "x"), KELO_ERROR_STATE);
    EXPECT_EQ(messagesOf(connection_), (std::vector<std::string>{"a", "bc", "de", "", ""}));
    // Only the text is kept, not the buffer its count asked for.
    EXPECT_LT(connection_->errorMessages.back().capacity(), 64u);
}

// What one upload's messages may hold is bounded; past the bound the rest
// of the answer is read and dropped, so the connection stays in step.
TEST_F(ParametersTest, MessagesBeyondTheBoundAreDrainedAndRefused) {
    ASSERT_NE(open(), nullptr);
    const std::string mebibyte(1u << 20, 'm');
    scriptUploadAnswer(rejection(std::vector<std::string>(17, mebibyte)));
    EXPECT_EQ(lpSendParametersToScanner(connection_, "x"), KELO_ERROR_IO);
    EXPECT_EQ(lpGetNumberOfErrorMessages(connection_), 16);
    emulator_.clearOverrides();
    EXPECT_EQ(lpSendParametersToScanner(connection_, "Gain = 2"), KELO_OK);
}

TEST_F(ParametersTest, RejectionWithoutMessagesEmptiesTheList) {
    ASSERT_NE(open(), nullptr);
    fillListWithRejection();
    for (std::int32_t count : {0, -5}) {
        Bytes payload;
        emu::appendWord(payload, static_cast<std::uint32_t>(count));
        scriptUploadAnswer(emu::answerBytes(kAnswerParameterErrors, payload));
        EXPECT_EQ(lpSendParametersToScanner(connection_, "x"), KELO_ERROR_STATE) << count;
        EXPECT_EQ(lpGetNumberOfErrorMessages(connection_), 0) << count;
    }
}

// End never empties the list, and an accepting answer's announced payload
// is not consumed: here it is itself a rejection that a second End reads.
TEST_F(ParametersTest, EndAppendsAndLeavesAcceptedPayloadUnread) {
    ASSERT_NE(open(), nullptr);
    Bytes answers = rejection({"first", "second"});
    const Bytes third = rejection({"third"});
    Bytes accepted;
    emu::appendWord(accepted, kCmdSendParameters);
    emu::appendWord(accepted, static_cast<std::uint32_t>(third.size()));
    answers.insert(answers.end(), accepted.begin(), accepted.end());
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

TEST_F(ParametersTest, BrokenRejectionKeepsWholeMessagesOnly) {
    ASSERT_NE(open(), nullptr);
    Bytes answer = rejection({"complete"});
    wire::putWord(answer.data() + 8, 2);  // announce a second message
    emu::appendWord(answer, 10);
    answer.push_back('p');
    answer.push_back('a');
    emulator_.overrideCommand(kCmdSendParameters, [answer](emu::Session& s, const emu::Command&) {
        s.sendRaw(answer);
        s.close();
    });
    EXPECT_EQ(lpSendParametersToScanner(connection_, "x"), KELO_ERROR_IO);
    EXPECT_EQ(messagesOf(connection_), std::vector<std::string>{"complete"});
}

TEST_F(ParametersTest, CountsAndLengthsBeyondWhatCanBeHeldGiveIoError) {
    ASSERT_NE(open(), nullptr);
    Bytes hugeCount;
    emu::appendWord(hugeCount, 0x7FFFFFFFu);
    scriptUploadAnswer(emu::answerBytes(kAnswerParameterErrors, hugeCount));
    EXPECT_EQ(lpSendParametersToScanner(connection_, "x"), KELO_ERROR_IO);
    EXPECT_EQ(lpGetNumberOfErrorMessages(connection_), 0);

    lpCloseConnection(connection_);
    ASSERT_NE(open(), nullptr);
    Bytes hugeLength;
    emu::appendWord(hugeLength, 1);
    emu::appendWord(hugeLength, 0xFFFFFFFFu);
    scriptUploadAnswer(emu::answerBytes(kAnswerParameterErrors, hugeLength));
    EXPECT_EQ(lpSendParametersToScanner(connection_, "x"), KELO_ERROR_IO);
    EXPECT_EQ(lpGetNumberOfErrorMessages(connection_), 0);
}

TEST_F(ParametersTest, PeerGoneGivesIoError) {
    ASSERT_NE(open(), nullptr);
    emulator_.setFault(emu::Fault::DropConnection);
    EXPECT_EQ(lpSendParametersToScanner(connection_, "Gain = 2"), KELO_ERROR_IO);
}

TEST_F(ParametersTest, NullArgumentsAndSyncStateChangeNothing) {
    ASSERT_NE(open(), nullptr);
    fillListWithRejection();
    const std::string path = (directory_ / "p.txt").string();
    writeFile(path, "Gain = 2\n");
    EXPECT_EQ(lpSendParametersToScanner(nullptr, "x"), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpSendParametersToScanner(connection_, nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpBeginSendParametersToScanner(connection_, nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpEndSendParametersToScanner(nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpSendParameterFileToScanner(connection_, nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpSendParameterFileToScanner(nullptr, path.c_str()), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpGetParameterFileFromScanner(connection_, nullptr), KELO_ERROR_ARGUMENT);
    EXPECT_EQ(lpGetParameterFileFromScanner(nullptr, path.c_str()), KELO_ERROR_ARGUMENT);

    connection_->syncFlag = 1;
    const std::string fetched = (directory_ / "fetched.txt").string();
    EXPECT_EQ(lpSendParametersToScanner(connection_, "Gain = 2"), KELO_ERROR_STATE);
    EXPECT_EQ(lpBeginSendParametersToScanner(connection_, "Gain = 2"), KELO_ERROR_STATE);
    EXPECT_EQ(lpEndSendParametersToScanner(connection_), KELO_ERROR_STATE);
    EXPECT_EQ(lpSendParameterFileToScanner(connection_, path.c_str()), KELO_ERROR_STATE);
    EXPECT_EQ(lpBeginSendParameterFileToScanner(connection_, "/no/such/file"), KELO_ERROR_STATE);
    EXPECT_EQ(lpGetParameterFileFromScanner(connection_, fetched.c_str()), KELO_ERROR_STATE);
    EXPECT_FALSE(fs::exists(fetched));
    EXPECT_EQ(messagesOf(connection_),
              std::vector<std::string>{"line 1: unknown parameter Bogus"});
    expectReceived({});
}

TEST_F(ParametersTest, FileIsUploadedUpToItsFirstNul) {
    ASSERT_NE(open(), nullptr);
    const fs::path path = directory_ / "with_nul.txt";
    writeFile(path, std::string("Gain = 2\n\0Gain = 3\n", 19));
    EXPECT_EQ(lpSendParameterFileToScanner(connection_, path.string().c_str()), KELO_OK);
    expectReceived(uploadBytes("Gain = 2\n"));
}

TEST_F(ParametersTest, EmptyFileIsUploadedAsEmptyText) {
    ASSERT_NE(open(), nullptr);
    scriptUploadAnswer(rejection({"empty set"}));
    const fs::path path = directory_ / "empty.txt";
    writeFile(path, "");
    EXPECT_EQ(lpSendParameterFileToScanner(connection_, path.string().c_str()), KELO_ERROR_STATE);
    expectReceived(uploadBytes(""));
    EXPECT_EQ(messagesOf(connection_), std::vector<std::string>{"empty set"});
}

TEST_F(ParametersTest, RejectedFileReportsTheScannersMessages) {
    ASSERT_NE(open(), nullptr);
    const fs::path path = directory_ / "bad.txt";
    writeFile(path, "LaserPower = 101\n");
    EXPECT_EQ(lpSendParameterFileToScanner(connection_, path.string().c_str()), KELO_ERROR_STATE);
    EXPECT_EQ(messagesOf(connection_),
              std::vector<std::string>{"line 1: LaserPower must be an integer from 0 to 100"});
}

TEST_F(ParametersTest, UnreadableFileGivesOneMessageAndSendsNothing) {
    ASSERT_NE(open(), nullptr);
    fillListWithRejection();
    const std::string missing = (directory_ / "missing.txt").string();
    EXPECT_EQ(lpSendParameterFileToScanner(connection_, missing.c_str()), KELO_ERROR_STATE);
    EXPECT_EQ(messagesOf(connection_),
              std::vector<std::string>{"Couldn't open local parameter file: " + missing});
    // A directory is not a parameter file either.
    const std::string folder = directory_.string();
    EXPECT_EQ(lpBeginSendParameterFileToScanner(connection_, folder.c_str()), KELO_ERROR_STATE);
    EXPECT_EQ(messagesOf(connection_),
              std::vector<std::string>{"Couldn't open local parameter file: " + folder});
    expectReceived({});
}

// Sizes the upload's length word cannot carry, and in a 32-bit process
// those one buffer cannot hold (from 2 GiB - 1). Sparse files: no data blocks.
TEST_F(ParametersTest, FilesTooLargeAreRefusedUnsent) {
    ASSERT_NE(open(), nullptr);
    std::vector<std::uint64_t> sizes = {0x100000000ull, 0x100000001ull};
    if (sizeof(void*) == 4) sizes.insert(sizes.end(), {0x7FFFFFFFull, 0x80000000ull, 0xFFFFFFFFull});
    for (const std::uint64_t size : sizes) {
        const fs::path path = directory_ / ("huge_" + std::to_string(size) + ".txt");
        writeFile(path, "");
        std::error_code error;
        fs::resize_file(path, size, error);
        if (error) GTEST_SKIP() << "cannot make a sparse file of " << size << " bytes here";
        EXPECT_EQ(lpSendParameterFileToScanner(connection_, path.string().c_str()),
                  KELO_ERROR_STATE) << size;
        EXPECT_EQ(messagesOf(connection_),
                  std::vector<std::string>{"Local parameter file too large: " + path.string()});
        fs::remove(path, error);
    }
    expectReceived({});
}

TEST_F(ParametersTest, FetchedFileRoundTripsThroughUpload) {
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(lpSendParametersToScanner(connection_, "ExposureTime = 1234\n"), KELO_OK);
    emulator_.clearReceived();
    const fs::path path = directory_ / "fetched.txt";
    ASSERT_EQ(lpGetParameterFileFromScanner(connection_, path.string().c_str()), KELO_OK);
    expectReceived(bytesOf({0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00}));
    std::string expected;
    {
        auto& state = emulator_.state<emu::ParameterState>();
        std::lock_guard<std::mutex> lock(state.mutex);
        expected = state.render();
    }
    EXPECT_EQ(readFile(path), expected);
    EXPECT_NE(expected.find("ExposureTime = 1234\n"), std::string::npos);
    EXPECT_EQ(lpSendParameterFileToScanner(connection_, path.string().c_str()), KELO_OK);
}

TEST_F(ParametersTest, FetchWritesNulBytesAndEmptiesOnZeroLength) {
    ASSERT_NE(open(), nullptr);
    const std::string text("A = 1\n\0B", 8);
    emulator_.overrideCommand(kCmdParameterFile, [text](emu::Session& s, const emu::Command&) {
        s.sendAnswer(kCmdParameterFile, Bytes(text.begin(), text.end()));
    });
    const fs::path path = directory_ / "fetched.txt";
    ASSERT_EQ(lpGetParameterFileFromScanner(connection_, path.string().c_str()), KELO_OK);
    EXPECT_EQ(readFile(path), text);

    emulator_.overrideCommand(kCmdParameterFile, [](emu::Session& s, const emu::Command&) {
        s.sendAnswer(kCmdParameterFile, Bytes());
    });
    ASSERT_EQ(lpGetParameterFileFromScanner(connection_, path.string().c_str()), KELO_OK);
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(fs::file_size(path), 0u);
}

TEST_F(ParametersTest, FetchIntoMissingDirectoryKeepsTheConnectionInStep) {
    ASSERT_NE(open(), nullptr);
    fillListWithRejection();
    const fs::path path = directory_ / "no_such_dir" / "fetched.txt";
    EXPECT_EQ(lpGetParameterFileFromScanner(connection_, path.string().c_str()), KELO_ERROR_STATE);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(lpGetNumberOfErrorMessages(connection_), 1);
    // The whole answer was consumed: the next exchange reads its own answer.
    EXPECT_EQ(lpSendParametersToScanner(connection_, "Gain = 5\n"), KELO_OK);
    const fs::path good = directory_ / "fetched.txt";
    ASSERT_EQ(lpGetParameterFileFromScanner(connection_, good.string().c_str()), KELO_OK);
    EXPECT_NE(readFile(good).find("Gain = 5\n"), std::string::npos);
}

TEST_F(ParametersTest, FailedFetchLeavesTheLocalFileAlone) {
    const fs::path path = directory_ / "kept.txt";
    writeFile(path, "old contents\n");
    for (emu::Fault fault : {emu::Fault::ShortAnswer, emu::Fault::HugeLength}) {
        ASSERT_NE(open(), nullptr);
        emulator_.setFault(fault);
        EXPECT_EQ(lpGetParameterFileFromScanner(connection_, path.string().c_str()), KELO_ERROR_IO)
            << emu::faultName(fault);
        EXPECT_EQ(readFile(path), "old contents\n");
        emulator_.setFault(emu::Fault::None);
        lpCloseConnection(connection_);
        connection_ = nullptr;
    }
}

}  // namespace
}  // namespace kelo::test
