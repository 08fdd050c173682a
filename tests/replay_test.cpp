// Replay of captured sessions: the recorded streams put back together from
// captures in every link type the replay reads, out of order, retransmitted
// and across the sequence-number wrap; and the replay server answering the
// library, with commands that differ from the recording.
#ifdef KELO_HAVE_REPLAY

#include <pcap/pcap.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/replay/recorded_session.h"
#include "emulator/replay/replay_server.h"
#include "support/emulator_fixture.h"

namespace kelo::test {
namespace {

using emu::answerBytes;
using emu::appendWord;
using emu::Bytes;
using replay::Exchange;

Bytes words(std::initializer_list<std::uint32_t> values) {
    Bytes bytes;
    for (std::uint32_t value : values) appendWord(bytes, value);
    return bytes;
}

Bytes join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A session: every kind of framing the recording must cut right.
const std::vector<Exchange> kSession = {
    {words({24, 0}), answerBytes(24, words({1, 7, 42}))},
    {words({12, 0}), join(answerBytes(1, words({1, 2, 3, 4, 5})), answerBytes(2, words({9})))},
    {words({55, 4, 0, 10}), answerBytes(55, words({0}))},  // 55 sends a word beyond its length
    {words({29, 0}), {}},
    {join(words({77, 3}), {1, 2, 3}), answerBytes(5, {0xAA, 0xBB})},  // a code the library lacks
    {words({102, 0}), {}},
};

constexpr std::uint32_t kClient = 0x0A000001, kScanner = 0x0A000002;
constexpr std::uint16_t kClientPort = 40000;
constexpr std::uint8_t kSyn = 0x02, kAck = 0x10, kPush = 0x08;

struct Packet {
    bool toScanner;
    std::uint32_t sequence;
    std::uint8_t flags;
    Bytes data;
};

// IPv4 and TCP headers around the data, with the link-layer header of the type.
Bytes frame(int linkType, const Packet& p, std::uint16_t scannerPort = 24334) {
    Bytes ip = {0x45, 0, 0, 0, 0, 0, 0x40, 0, 64, 6, 0, 0};
    appendWord(ip, p.toScanner ? kClient : kScanner);
    appendWord(ip, p.toScanner ? kScanner : kClient);
    const std::uint16_t from = p.toScanner ? kClientPort : scannerPort;
    const std::uint16_t to = p.toScanner ? scannerPort : kClientPort;
    ip.insert(ip.end(), {std::uint8_t(from >> 8), std::uint8_t(from), std::uint8_t(to >> 8),
                         std::uint8_t(to)});
    appendWord(ip, p.sequence);
    appendWord(ip, 0);
    ip.insert(ip.end(), {0x50, p.flags, 0xFF, 0xFF, 0, 0, 0, 0});
    ip.insert(ip.end(), p.data.begin(), p.data.end());
    ip[2] = std::uint8_t(ip.size() >> 8);
    ip[3] = std::uint8_t(ip.size());
    Bytes link;
    switch (linkType) {
        case DLT_EN10MB:
            link = Bytes(12, 0x02);
            link.insert(link.end(), {0x81, 0x00, 0, 5, 0x08, 0x00});
            break;
        case DLT_LINUX_SLL:
            link = Bytes(14, 0);
            link.insert(link.end(), {0x08, 0x00});
            break;
        case DLT_LINUX_SLL2:
            link = {0x08, 0x00};
            link.resize(20, 0);
            break;
        case DLT_NULL:
            link = {2, 0, 0, 0};
            break;
        default:
            break;
    }
    return join(link, ip);
}

std::string writeCapture(const std::string& name, int linkType, const std::vector<Bytes>& frames) {
    const std::string path = ::testing::TempDir() + name + ".pcap";
    pcap_t* dead = pcap_open_dead(linkType, 65535);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    EXPECT_NE(dumper, nullptr) << pcap_geterr(dead);
    for (const Bytes& data : frames) {
        pcap_pkthdr header{};
        header.caplen = header.len = static_cast<bpf_u_int32>(data.size());
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, data.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
    return path;
}

struct CaptureCase {
    const char* name;
    int linkType;
    std::uint32_t initialSequence;
    bool reorder;     // neighbouring segments swapped
    bool retransmit;  // every segment sent again, after a wider one that overlaps it
    bool synFirst;    // else the capture began after the handshake
};

// The session cut into 5-byte segments, each message's in its own.
std::vector<Packet> segments(const std::vector<Exchange>& session, const CaptureCase& c) {
    std::uint32_t sequence[2] = {c.initialSequence + 1, 5000};
    std::vector<Packet> packets;
    if (c.synFirst) {
        packets.push_back({true, c.initialSequence, kSyn, {}});
        packets.push_back({false, 4999, kSyn | kAck, {}});
    }
    for (const Exchange& exchange : session) {
        for (const Bytes* message : {&exchange.command, &exchange.answers}) {
            const bool toScanner = message == &exchange.command;
            std::vector<Packet> pieces;
            for (std::size_t i = 0; i < message->size(); i += 5) {
                const std::size_t end = std::min(message->size(), i + 5);
                pieces.push_back({toScanner, sequence[!toScanner] + std::uint32_t(i), kAck | kPush,
                                  Bytes(message->begin() + long(i), message->begin() + long(end))});
                if (c.retransmit && end < message->size()) {
                    const std::size_t wider = std::min(message->size(), i + 8);
                    pieces.push_back(
                        {toScanner, sequence[!toScanner] + std::uint32_t(i), kAck,
                         Bytes(message->begin() + long(i), message->begin() + long(wider))});
                }
            }
            if (c.reorder)
                for (std::size_t i = 0; i + 1 < pieces.size(); i += 2)
                    std::swap(pieces[i], pieces[i + 1]);
            packets.insert(packets.end(), pieces.begin(), pieces.end());
            sequence[!toScanner] += static_cast<std::uint32_t>(message->size());
        }
    }
    return packets;
}

std::vector<Bytes> frames(int linkType, const std::vector<Packet>& packets) {
    std::vector<Bytes> out;
    for (const Packet& packet : packets) {
        out.push_back(frame(linkType, packet));
        // Traffic of another port in between, which the replay must leave out.
        out.push_back(frame(
            linkType, {packet.toScanner, 1, kAck | kPush, {0, 0, 0, 102, 0, 0, 0, 0}}, 24335));
    }
    return out;
}

void expectSession(const replay::Recording& recording, const std::vector<Exchange>& expected) {
    ASSERT_EQ(recording.exchanges.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(hex(recording.exchanges[i].command), hex(expected[i].command))
            << "command " << i + 1;
        EXPECT_EQ(hex(recording.exchanges[i].answers), hex(expected[i].answers))
            << "answers to command " << i + 1;
    }
}

TEST(ReplayRecording, SessionIsPutBackTogetherFromEveryCapture) {
    const CaptureCase cases[] = {
        {"ethernet-vlan", DLT_EN10MB, 1000, false, false, true},
        {"cooked-reordered", DLT_LINUX_SLL, 77, true, false, true},
        {"cooked2-retransmitted", DLT_LINUX_SLL2, 5, false, true, true},
        {"loopback-wrapping", DLT_NULL, 0xFFFFFFF0u, true, true, true},
        {"raw-begun-late", DLT_RAW, 0xFFFFFFFEu, true, true, false},
    };
    for (const CaptureCase& c : cases) {
        SCOPED_TRACE(c.name);
        replay::Recording recording;
        std::string error;
        const std::string path =
            writeCapture(c.name, c.linkType, frames(c.linkType, segments(kSession, c)));
        ASSERT_TRUE(replay::loadRecording(path, 1, &recording, &error)) << error;
        EXPECT_EQ(recording.peers, "10.0.0.1:40000 -> 10.0.0.2:24334");
        expectSession(recording, kSession);
        ASSERT_EQ(recording.notes.size(), 1u);  // the command the library lacks
        EXPECT_NE(recording.notes[0].find("command 5 (code 77) is not a library command"),
                  std::string::npos);
        std::remove(path.c_str());
    }
}

TEST(ReplayRecording, SecondSessionOnTheSamePortsAndWhatACaptureLacks) {
    const CaptureCase plain{"two-sessions", DLT_EN10MB, 100, false, false, true};
    const std::vector<Exchange> first(kSession.begin(), kSession.begin() + 2);
    const std::vector<Exchange> second(kSession.begin() + 2, kSession.begin() + 4);
    std::vector<Packet> packets = segments(first, plain);
    for (const Packet& packet : segments(second, plain)) packets.push_back(packet);
    const std::string path =
        writeCapture(plain.name, plain.linkType, frames(plain.linkType, packets));
    replay::Recording recording;
    std::string error;
    ASSERT_TRUE(replay::loadRecording(path, 2, &recording, &error)) << error;
    expectSession(recording, second);
    EXPECT_FALSE(replay::loadRecording(path, 3, &recording, &error));
    EXPECT_NE(error.find("2 scanner session(s)"), std::string::npos) << error;
    EXPECT_NE(error.find("session 2: 10.0.0.1:40000 -> 10.0.0.2:24334"), std::string::npos)
        << error;

    // A lost segment of the scanner's stream: the answers stop before it.
    packets = segments(first, plain);
    packets.erase(packets.end() - 3);
    const std::string gap = writeCapture("gap", plain.linkType, frames(plain.linkType, packets));
    ASSERT_TRUE(replay::loadRecording(gap, 1, &recording, &error)) << error;
    ASSERT_EQ(recording.exchanges.size(), 2u);
    EXPECT_EQ(hex(recording.exchanges[0].answers), hex(first[0].answers));
    EXPECT_EQ(recording.exchanges[1].answers.size(), 25u);  // the image answer up to the hole
    ASSERT_EQ(recording.notes.size(), 3u);
    EXPECT_NE(recording.notes[0].find("misses bytes of the scanner's stream"), std::string::npos);
    EXPECT_NE(recording.notes[1].find("the answer to command 2 (code 12) is cut short"),
              std::string::npos);
    EXPECT_NE(recording.notes[2].find("command 2 (code 12) lacks 1 answer(s)"), std::string::npos);
    std::remove(path.c_str());
    std::remove(gap.c_str());
}

class ReplayServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        replay::Recording recording;
        Bytes profile = words({1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 70, 80, 90});
        recording.exchanges = {
            {words({24, 0}), answerBytes(24, words({2, 1, 10, 2, 0xFFFFFFFF}))},
            {words({43, 4, 0}), answerBytes(0, profile)},
            {words({26, 4, 5}), answerBytes(26, join(words({3}), {'a', 'b', 'c'}))},
        };
        server_ =
            std::make_unique<replay::ReplayServer>(recording, [this](const std::string& line) {
                std::lock_guard<std::mutex> lock(logMutex_);
                log_ += line + "\n";
            });
        for (int attempt = 0; attempt < 8 && !started_; ++attempt) {
            address_ = uniqueLoopbackAddress();
            started_ = server_->start(address_, KELO_SCANNER_TCP_PORT);
        }
        ASSERT_TRUE(started_);
    }
    std::string log() {
        std::lock_guard<std::mutex> lock(logMutex_);
        return log_;
    }

    std::unique_ptr<replay::ReplayServer> server_;
    bool started_ = false;
    std::string address_;
    std::mutex logMutex_;
    std::string log_;
};

TEST_F(ReplayServerTest, AnswersFromTheRecordingAndLogsWhatDiffers) {
    ScannerConnection* c = lpOpenConnection(address_.c_str());
    ASSERT_NE(c, nullptr);
    std::int32_t value = 0;
    ASSERT_EQ(lpGetScannerStatusFromScanner(c), 0);
    ASSERT_EQ(lpGetScannerStatusValue(c, 2, &value), 0);
    EXPECT_EQ(value, -1);
    // Another laser than recorded: logged, and answered from the recording.
    ProfileRecord record{};
    ASSERT_EQ(lpGetProfileN(c, 3, &record), 0);
    EXPECT_EQ(record.pointCount, 1);
    EXPECT_EQ(record.points[0][2], 90);
    EXPECT_NE(log().find("command 2 (code 43) differs from the recording at byte 11\n"
                         "  recorded: 00 00 00 2B 00 00 00 04 00 00 00 00\n"
                         "  received: 00 00 00 2B 00 00 00 04 00 00 00 03\n"
                         "  same code: answered from the recording"),
              std::string::npos)
        << log();
    // Another command than recorded: the connection is closed.
    auto scan = std::make_unique<ScanRecord>();
    EXPECT_EQ(lpGetScan(c, scan.get()), -1);
    EXPECT_NE(log().find("  received: 00 00 00 0D 00 00 00 00\n  other code: closing"),
              std::string::npos)
        << log();
    lpCloseConnection(c);

    // Every connection replays from the start; past the recording it closes.
    c = lpOpenConnection(address_.c_str());
    ASSERT_NE(c, nullptr);
    char text[8] = {};
    EXPECT_EQ(lpGetScannerStatusFromScanner(c), 0);
    EXPECT_EQ(lpGetProfileN(c, 0, &record), 0);
    EXPECT_EQ(lpGetStatusDescriptionFromScanner(c, 5, text, 7), 0);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(lpGetScannerStatusFromScanner(c), -1);
    EXPECT_NE(log().find("command 24 comes after the last recorded one; closing"),
              std::string::npos)
        << log();
    lpCloseConnection(c);
}

}  // namespace
}  // namespace kelo::test

#endif  // KELO_HAVE_REPLAY
