/* SPDX-License-Identifier: Apache-2.0 */
// A scanner emulator: plays the scanner's side of the TCP command protocol
// (and, where built, of UDP discovery) over real sockets. The executable
// kelo-scanner-emulator wraps it; the tests run it in-process on their own
// loopback addresses and use its hooks to script answers, inject faults and
// look at the exact bytes the library sent.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <typeindex>
#include <vector>

#include "kelo_dll/api.h"

#include "core/socket_layer.h"

namespace kelo::emu {

using Bytes = std::vector<std::uint8_t>;

// What the simulated scanner is. Subsystems read what they need.
struct ScannerConfig {
    std::uint32_t serialNumber = 1001;
    std::uint32_t cableId = 0;
    int laserCount = 1;
    int pointsPerProfile = 243;       // points of each generated profile
    double profileRateHz = 2000.0;    // profiles per second in time sync
    unsigned noiseSeed = 1;
    // Stamped profiles carry stampMark and a checksum (profile_stamp.h).
    bool stamped = false;
    std::uint32_t stampMark = 0;
    bool verbose = false;
};

// The answer type of every answer under Fault::WrongType.
inline constexpr std::uint32_t kWrongAnswerType = 99;

// Misbehaviour applied to every answer the emulator sends.
enum class Fault {
    None,
    Silent,          // never answers
    ShortAnswer,     // sends half of the answer, then closes the connection
    WrongType,       // answer type replaced by kWrongAnswerType
    HugeLength,      // length word 0x7FFFFFF0, then the real payload, then silence
    DropConnection,  // closes the connection instead of answering
};
bool parseFault(const std::string& name, Fault* fault);
const char* faultName(Fault fault);

struct Command {
    std::uint32_t code = 0;
    Bytes payload;
    // Payload word i (big-endian), 0 when the payload is shorter.
    std::uint32_t word(std::size_t i) const;
};

class Emulator;
class Session;

using Handler = std::function<void(Session&, const Command&)>;

// Built-in behaviour of one command code; each handler file registers its
// commands with a static CommandRegistration.
struct CommandRegistration {
    CommandRegistration(std::uint32_t code, Handler handler);
};

// One accepted TCP connection.
class Session {
public:
    Session(Emulator& emulator, net::Socket socket);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Emulator& emulator() { return emulator_; }

    // Reads exactly length more bytes of the command stream (logged as
    // received). False when the peer closed or the emulator stops.
    bool readExact(void* destination, std::size_t length);
    // Raw bytes, no fault applied. False once the connection is gone.
    bool sendRaw(const void* data, std::size_t length);
    bool sendRaw(const Bytes& bytes) { return sendRaw(bytes.data(), bytes.size()); }
    // An answer: header (type, payload size) and payload, with the
    // emulator's fault mode applied.
    bool sendAnswer(std::uint32_t type, const Bytes& payload);
    void close();
    bool closed() const { return closed_; }

    void run();

private:
    Emulator& emulator_;
    net::Socket socket_;
    bool closed_ = false;
};

// Builders for answer payloads.
void appendWord(Bytes& out, std::uint32_t value);
void appendCountedString(Bytes& out, const std::string& text);
Bytes answerBytes(std::uint32_t type, const Bytes& payload);

class Emulator {
public:
    explicit Emulator(ScannerConfig config = {});
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // Listens on bindAddress:port and serves connections on background
    // threads. False when the address cannot be bound.
    bool start(const std::string& bindAddress = "0.0.0.0",
               std::uint16_t port = KELO_SCANNER_TCP_PORT);
    void stop();
    // Answers UDP discovery on bindAddress:port (several emulators may share
    // one) and applies configuration messages addressed to this serial
    // number; see discovery_responder.h. When start() gave the TCP side an
    // address of its own, replies come from that address (and port) and the
    // record reports it, as a scanner answers from its own address.
    // stop() ends it too.
    bool startDiscovery(const std::string& bindAddress = "0.0.0.0",
                        std::uint16_t port = KELO_SCANNER_UDP_PORT);
    void stopDiscovery();
    bool running() const { return running_; }
    const std::string& bindAddress() const { return bindAddress_; }

    ScannerConfig& config() { return config_; }

    // Per-subsystem state of the simulated scanner, created on first use
    // and shared by all connections. T guards itself if it needs to.
    template <typename T>
    T& state() {
        std::lock_guard<std::mutex> lock(stateMutex_);
        auto& slot = states_[std::type_index(typeid(T))];
        if (!slot) slot = std::shared_ptr<void>(new T(), [](void* p) { delete static_cast<T*>(p); });
        return *static_cast<T*>(slot.get());
    }

    // Test hooks.
    void overrideCommand(std::uint32_t code, Handler handler);
    void clearOverrides();
    void setFault(Fault fault) { fault_ = fault; }
    Fault fault() const { return fault_; }
    // Every byte received on every connection, in arrival order.
    Bytes received() const;
    void clearReceived();
    // Waits until at least count bytes were received in all; false on time-out.
    bool waitForReceived(std::size_t count, int timeoutMs) const;
    // Number of commands with this code received so far.
    std::size_t commandCount(std::uint32_t code) const;
    // Number of connections accepted so far.
    std::size_t connectionsAccepted() const { return accepted_; }
    // Threads of sessions held: those still serving and those that ended
    // since the accepting thread last looked (every 100 ms).
    std::size_t sessionThreads();

    // Used by sessions.
    void recordReceived(const std::uint8_t* data, std::size_t length);
    void dispatch(Session& session, const Command& command);
    bool stopping() const { return stopping_; }
    void log(const std::string& line) const;

private:
    struct SessionThread {
        std::thread thread;
        std::atomic<bool> ended{false};
    };

    void acceptLoop();
    // Joins the threads of sessions that ended, so that a long run with
    // many reconnections keeps no more than it serves.
    void reapEndedSessions();

    ScannerConfig config_;
    std::string bindAddress_;
    net::Socket listener_ = net::kInvalidSocket;
    std::atomic<bool> running_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<Fault> fault_{Fault::None};
    std::atomic<std::size_t> accepted_{0};
    std::thread acceptThread_;
    std::mutex sessionsMutex_;
    std::vector<std::unique_ptr<SessionThread>> sessionThreads_;

    mutable std::mutex receivedMutex_;
    mutable std::condition_variable receivedChanged_;
    Bytes received_;
    std::map<std::uint32_t, std::size_t> commandCounts_;

    std::mutex overridesMutex_;
    std::map<std::uint32_t, Handler> overrides_;

    std::mutex stateMutex_;
    std::map<std::type_index, std::shared_ptr<void>> states_;
};

}  // namespace kelo::emu
