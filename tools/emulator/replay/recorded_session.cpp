// SPDX-License-Identifier: Apache-2.0
#include "emulator/replay/recorded_session.h"

#include <map>
#include <tuple>

#include "core/wire.h"
#include "emulator/replay/protocol_framing.h"

namespace kelo::replay {
namespace {

struct Unit {
    std::size_t offset;
    Bytes bytes;
    bool complete;
};

// Cuts a stream into header-led units; `size` gives a unit's length from
// its header. The last unit may be cut short by the end of the capture.
template <typename SizeOf>
std::vector<Unit> split(const Bytes& stream, SizeOf size) {
    std::vector<Unit> units;
    std::size_t offset = 0;
    while (offset < stream.size()) {
        const std::size_t left = stream.size() - offset;
        std::uint64_t length = left;
        bool complete = false;
        if (left >= kHeaderSize) {
            const std::uint64_t wanted = kHeaderSize + size(wire::getWord(&stream[offset]),
                                                            wire::getWord(&stream[offset + 4]));
            complete = wanted <= left;
            if (complete) length = wanted;
        }
        const auto begin = stream.begin() + static_cast<std::ptrdiff_t>(offset);
        units.push_back(
            {offset, Bytes(begin, begin + static_cast<std::ptrdiff_t>(length)), complete});
        offset += static_cast<std::size_t>(length);
    }
    return units;
}

std::string addressText(std::uint32_t networkOrder, std::uint16_t port) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(&networkOrder);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
           std::to_string(b[3]) + ":" + std::to_string(port);
}

struct Connection {
    std::string peers;
    StreamAssembler toScanner;
    StreamAssembler toClient;
    bool carriesData = false;
};

}  // namespace

Recording pairExchanges(const StreamAssembler::Result& commands,
                        const StreamAssembler::Result& answers) {
    Recording recording;
    const auto commandUnits = split(commands.bytes, [](std::uint32_t code, std::uint32_t length) {
        return commandPayloadSize(code, length);
    });
    const auto answerUnits = split(
        answers.bytes, [](std::uint32_t, std::uint32_t length) { return std::uint64_t(length); });
    if (commands.gap)
        recording.notes.push_back(
            "the capture misses bytes of the client's stream; replay stops there");
    if (answers.gap)
        recording.notes.push_back(
            "the capture misses bytes of the scanner's stream; replay stops there");

    std::size_t next = 0;
    for (std::size_t i = 0; i < commandUnits.size(); ++i) {
        const Unit& unit = commandUnits[i];
        Exchange exchange{unit.bytes, {}};
        const std::uint32_t code =
            unit.bytes.size() >= wire::kWordSize ? wire::getWord(unit.bytes.data()) : 0;
        const std::string which =
            "command " + std::to_string(i + 1) + " (code " + std::to_string(code) + ")";
        if (!unit.complete)
            recording.notes.push_back(which + " is cut short by the end of the capture");
        std::uint32_t owed = answersOwed(code);
        if (owed == kOwedUnknown) {
            const std::size_t before = i + 1 < commandUnits.size()
                                           ? commands.frameAt(commandUnits[i + 1].offset)
                                           : ~std::size_t(0);
            owed = 0;
            while (next + owed < answerUnits.size() &&
                   answers.frameAt(answerUnits[next + owed].offset) < before) {
                ++owed;
            }
            recording.notes.push_back(which + " is not a library command; it gets the " +
                                      std::to_string(owed) +
                                      " answer(s) captured before the next command");
        }
        for (std::uint32_t k = 0; k < owed; ++k, ++next) {
            if (next == answerUnits.size()) {
                recording.notes.push_back(which + " lacks " + std::to_string(owed - k) +
                                          " answer(s) in the capture");
                break;
            }
            const Unit& answer = answerUnits[next];
            if (!answer.complete)
                recording.notes.push_back("the answer to " + which +
                                          " is cut short by the end of the capture");
            exchange.answers.insert(exchange.answers.end(), answer.bytes.begin(),
                                    answer.bytes.end());
        }
        recording.exchanges.push_back(std::move(exchange));
    }
    if (next < answerUnits.size()) {
        recording.notes.push_back(std::to_string(answerUnits.size() - next) +
                                  " answer(s) after the last command are not replayed");
    }
    return recording;
}

bool loadRecording(const std::string& path, std::size_t number, Recording* recording,
                   std::string* error) {
    std::vector<TcpSegment> segments;
    if (!readTcpSegments(path, &segments, error)) return false;

    std::vector<Connection> connections;
    std::map<std::tuple<std::uint32_t, std::uint16_t, std::uint32_t>, std::size_t> current;
    for (const TcpSegment& segment : segments) {
        const bool toScanner = segment.destinationPort == kScannerPort;
        if (!toScanner && segment.sourcePort != kScannerPort) continue;
        const auto key = toScanner
                             ? std::make_tuple(segment.sourceAddress, segment.sourcePort,
                                               segment.destinationAddress)
                             : std::make_tuple(segment.destinationAddress, segment.destinationPort,
                                               segment.sourceAddress);
        auto found = current.find(key);
        // A new SYN on a port pair that already carried a session opens the next one.
        const bool opening = toScanner && segment.syn && !segment.ack;
        if (found == current.end() || (opening && connections[found->second].carriesData)) {
            Connection connection;
            connection.peers =
                toScanner ? addressText(segment.sourceAddress, segment.sourcePort) + " -> " +
                                addressText(segment.destinationAddress, segment.destinationPort)
                          : addressText(segment.destinationAddress, segment.destinationPort) +
                                " -> " + addressText(segment.sourceAddress, segment.sourcePort);
            connections.push_back(std::move(connection));
            found = current.insert_or_assign(key, connections.size() - 1).first;
        }
        Connection& connection = connections[found->second];
        (toScanner ? connection.toScanner : connection.toClient)
            .add(segment.sequence, segment.syn, segment.payload, segment.frame);
        connection.carriesData = connection.carriesData || !segment.payload.empty();
    }

    std::vector<const Connection*> sessions;
    for (const Connection& connection : connections)
        if (connection.carriesData) sessions.push_back(&connection);
    if (number < 1 || number > sessions.size()) {
        *error = path + " holds " + std::to_string(sessions.size()) +
                 " scanner session(s) on TCP port " + std::to_string(kScannerPort) +
                 (sessions.empty() ? "" : ":");
        for (std::size_t i = 0; i < sessions.size(); ++i)
            *error += "\n  session " + std::to_string(i + 1) + ": " + sessions[i]->peers;
        return false;
    }
    const Connection& chosen = *sessions[number - 1];
    *recording = pairExchanges(chosen.toScanner.assemble(), chosen.toClient.assemble());
    recording->peers = chosen.peers;
    return true;
}

}  // namespace kelo::replay
