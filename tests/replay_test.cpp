// SPDX-License-Identifier: Apache-2.0
// Replay of captured sessions: the recorded streams put back together from
// captures in every link type the replay reads, out of order, retransmitted
// and across the sequence-number wrap; and the replay server answering the
// library, with commands that differ from the recording.
#ifdef KELO_HAVE_REPLAY

#include <pcap/pcap.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "emulator/replay/recorded_session.h"
#include "emulator/replay/replay_server.h"
#include "support/g3_checks.h"

namespace kelo::test {
namespace {

using emu::answerBytes;
using emu::appendWord;
using emu::Bytes;
using replay::Exchange;

bool has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

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

const std::map<int, Bytes> kLinkHeaders = {
    {DLT_EN10MB, join(Bytes(12, 0x02), {0x81, 0x00, 0, 5, 0x08, 0x00})},  // with a VLAN tag
    {DLT_LINUX_SLL, join(Bytes(14, 0), {0x08, 0x00})},
    {DLT_LINUX_SLL2, join({0x08, 0x00}, Bytes(18, 0))},
    {DLT_NULL, {2, 0, 0, 0}},
    {DLT_RAW, {}},
};

// IPv4 and TCP headers around the data, with the link-layer header of the type.
Bytes frame(int linkType, const Packet& p, std::uint16_t scannerPort = 24334) {
    const std::uint32_t ports = p.toScanner ? std::uint32_t(kClientPort) << 16 | scannerPort
                                            : std::uint32_t(scannerPort) << 16 | kClientPort;
    Bytes ip = join(words({0x45000000, 0x4000, 0x40060000, p.toScanner ? kClient : kScanner,
                           p.toScanner ? kScanner : kClient, ports, p.sequence, 0,
                           0x5000FFFFu | std::uint32_t(p.flags) << 16, 0}),
                    p.data);
    ip[2] = std::uint8_t(ip.size() >> 8);  // the IPv4 total length
    ip[3] = std::uint8_t(ip.size());
    return join(kLinkHeaders.at(linkType), ip);
}

// reorder: neighbouring segments swapped; retransmit: every segment sent again, after a wider one
// that overlaps it; synFirst: else the capture began after the handshake.
struct CaptureCase {
    const char* name;
    int linkType;
    std::uint32_t initialSequence;
    bool reorder, retransmit, synFirst;
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
            auto piece = [&](std::size_t from, std::size_t to, std::uint8_t flags) {
                pieces.push_back({toScanner, sequence[!toScanner] + std::uint32_t(from), flags,
                                  Bytes(message->begin() + long(from),
                                        message->begin() + long(std::min(message->size(), to)))});
            };
            for (std::size_t i = 0; i < message->size(); i += 5) {
                piece(i, i + 5, kAck | kPush);
                if (c.retransmit && i + 5 < message->size()) piece(i, i + 8, kAck);
            }
            for (std::size_t i = 0; c.reorder && i + 1 < pieces.size(); i += 2) std::swap(pieces[i], pieces[i + 1]);
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
        out.push_back(frame(linkType, {packet.toScanner, 1, kAck | kPush, {0, 0, 0, 102, 0, 0, 0, 0}}, 24335));
    }
    return out;
}

// Writes the packets as a capture of the link type, and loads session `session` of it.
bool load(int linkType, const std::vector<Packet>& packets, int session, replay::Recording* recording,
          std::string* error) {
    const std::string path =  // one file per test: tests may run in parallel processes
        ::testing::TempDir() + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".pcap";
    pcap_t* dead = pcap_open_dead(linkType, 65535);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    EXPECT_NE(dumper, nullptr) << pcap_geterr(dead);
    for (const Bytes& data : frames(linkType, packets)) {
        pcap_pkthdr header{};
        header.caplen = header.len = static_cast<bpf_u_int32>(data.size());
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, data.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
    const bool loaded = replay::loadRecording(path, session, recording, error);
    std::remove(path.c_str());
    return loaded;
}

// A session as text, a line per exchange: the command, then its answers.
std::string shown(const std::vector<Exchange>& session) {
    std::string text;
    for (const Exchange& e : session) text += hex(e.command) + " -> " + hex(e.answers) + "\n";
    return text;
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
        ASSERT_TRUE(load(c.linkType, segments(kSession, c), 1, &recording, &error)) << error;
        EXPECT_EQ(recording.peers, "10.0.0.1:40000 -> 10.0.0.2:24334");
        EXPECT_EQ(shown(recording.exchanges), shown(kSession));
        ASSERT_EQ(recording.notes.size(), 1u);  // the command the library lacks
        EXPECT_TRUE(has(recording.notes[0], "command 5 (code 77) is not a library command"));
    }
}

TEST(ReplayRecording, SecondSessionOnTheSamePortsAndWhatACaptureLacks) {
    const CaptureCase plain{"two-sessions", DLT_EN10MB, 100, false, false, true};
    const std::vector<Exchange> first(kSession.begin(), kSession.begin() + 2);
    const std::vector<Exchange> second(kSession.begin() + 2, kSession.begin() + 4);
    std::vector<Packet> packets = segments(first, plain), more = segments(second, plain);
    packets.insert(packets.end(), more.begin(), more.end());
    replay::Recording recording;
    std::string error;
    ASSERT_TRUE(load(DLT_EN10MB, packets, 2, &recording, &error)) << error;
    EXPECT_EQ(shown(recording.exchanges), shown(second));
    EXPECT_FALSE(load(DLT_EN10MB, packets, 3, &recording, &error));
    EXPECT_TRUE(has(error, "2 scanner session(s)") && has(error, "session 2: 10.0.0.1:40000 -> 10.0.0.2:24334"))
        << error;

    // A lost segment of the scanner's stream: the answers stop before it.
    packets = segments(first, plain);
    packets.erase(packets.end() - 3);
    ASSERT_TRUE(load(DLT_EN10MB, packets, 1, &recording, &error)) << error;
    std::vector<Exchange> cut = first;
    cut[1].answers.resize(25);  // the image answer up to the hole
    EXPECT_EQ(shown(recording.exchanges), shown(cut));
    ASSERT_EQ(recording.notes.size(), 3u);
    EXPECT_TRUE(has(recording.notes[0], "misses bytes of the scanner's stream"));
    EXPECT_TRUE(has(recording.notes[1], "the answer to command 2 (code 12) is cut short"));
    EXPECT_TRUE(has(recording.notes[2], "command 2 (code 12) lacks 1 answer(s)"));
}

TEST(ReplayServer, AnswersFromTheRecordingAndLogsWhatDiffers) {
    replay::Recording recording;
    recording.exchanges = {
        {words({43, 4, 0}), answerBytes(0, words({1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 70, 80, 90}))},
        {words({26, 4, 5}), answerBytes(26, join(words({3}), {'a', 'b', 'c'}))},
    };
    std::string logText;  // read once the server's thread has ended
    replay::ReplayServer server(recording, [&](const std::string& line) { logText += line + "\n"; });
    std::string address;  // another process may hold an address: try a few
    for (int attempt = 0; attempt < 8 && !server.start(address = uniqueLoopbackAddress(), KELO_SCANNER_TCP_PORT);)
        ASSERT_LT(++attempt, 8);

    // Another laser than recorded: logged, and answered from the recording.
    ScannerConnection* c = lpOpenConnection(address.c_str());
    ProfileRecord record{};
    ASSERT_EQ(lpGetProfileN(c, 3, &record), 0);
    EXPECT_EQ(record.points[0][2], 90);
    // Another command than recorded: the connection is closed.
    EXPECT_EQ(lpGetScannerStatusFromScanner(c), -1);
    lpCloseConnection(c);

    // Every connection replays from the start; past the recording it closes.
    c = lpOpenConnection(address.c_str());
    char text[8] = {};
    EXPECT_EQ(lpGetProfileN(c, 0, &record), 0);
    EXPECT_EQ(lpGetStatusDescriptionFromScanner(c, 5, text, 7), 0);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(lpGetScannerStatusFromScanner(c), -1);
    lpCloseConnection(c);
    server.stop();
    EXPECT_TRUE(has(logText, "command 1 (code 43) differs from the recording at byte 11\n"
                             "  recorded: 00 00 00 2B 00 00 00 04 00 00 00 00\n"
                             "  received: 00 00 00 2B 00 00 00 04 00 00 00 03\n"
                             "  same code: answered from the recording\n"));
    EXPECT_TRUE(has(logText, "  received: 00 00 00 18 00 00 00 00\n  other code: closing\n"));
    EXPECT_TRUE(has(logText, "command 24 comes after the last recorded one; closing")) << logText;
}

}  // namespace
}  // namespace kelo::test

#endif  // KELO_HAVE_REPLAY
