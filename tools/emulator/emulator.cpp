// SPDX-License-Identifier: Apache-2.0
#include "emulator/emulator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "core/command_codes.h"
#include "core/wire.h"

namespace kelo::emu {
namespace {

constexpr std::uint32_t kHugeLength = 0x7FFFFFF0u;
// Commands carry at most a firmware image; anything larger is a broken peer.
constexpr std::uint32_t kMaxCommandPayload = 64u * 1024u * 1024u;
constexpr long kPollMicroseconds = 100000;

std::map<std::uint32_t, Handler>& builtInHandlers() {
    static std::map<std::uint32_t, Handler> handlers;
    return handlers;
}

}  // namespace

bool parseFault(const std::string& name, Fault* fault) {
    static const std::pair<const char*, Fault> names[] = {
        {"none", Fault::None},           {"silent", Fault::Silent},
        {"short", Fault::ShortAnswer},   {"wrong-type", Fault::WrongType},
        {"huge-length", Fault::HugeLength}, {"drop", Fault::DropConnection},
    };
    for (const auto& [text, value] : names) {
        if (name == text) {
            *fault = value;
            return true;
        }
    }
    return false;
}

const char* faultName(Fault fault) {
    switch (fault) {
        case Fault::None: return "none";
        case Fault::Silent: return "silent";
        case Fault::ShortAnswer: return "short";
        case Fault::WrongType: return "wrong-type";
        case Fault::HugeLength: return "huge-length";
        case Fault::DropConnection: return "drop";
    }
    return "?";
}

std::uint32_t Command::word(std::size_t i) const {
    if (payload.size() < (i + 1) * wire::kWordSize) return 0;
    return wire::getWord(payload.data() + i * wire::kWordSize);
}

CommandRegistration::CommandRegistration(std::uint32_t code, Handler handler) {
    builtInHandlers()[code] = std::move(handler);
}

void appendWord(Bytes& out, std::uint32_t value) {
    std::uint8_t word[wire::kWordSize];
    wire::putWord(word, value);
    out.insert(out.end(), word, word + wire::kWordSize);
}

void appendCountedString(Bytes& out, const std::string& text) {
    appendWord(out, static_cast<std::uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

Bytes answerBytes(std::uint32_t type, const Bytes& payload) {
    Bytes bytes;
    bytes.reserve(wire::kHeaderSize + payload.size());
    appendWord(bytes, type);
    appendWord(bytes, static_cast<std::uint32_t>(payload.size()));
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

// ---- Session ----

Session::Session(Emulator& emulator, net::Socket socket) : emulator_(emulator), socket_(socket) {}

bool Session::readExact(void* destination, std::size_t length) {
    auto* bytes = static_cast<std::uint8_t*>(destination);
    std::size_t done = 0;
    while (done < length) {
        if (closed_ || emulator_.stopping()) return false;
        net::WaitResult wait = net::waitSocket(socket_, true, false, 0, kPollMicroseconds);
        if (wait.ready < 0) return false;
        if (wait.ready == 0) continue;
        long got = net::receiveBytes(socket_, bytes + done, length - done);
        if (got < 0 && net::lastError() == net::kErrorWouldBlock) continue;
        if (got <= 0) return false;
        emulator_.recordReceived(bytes + done, static_cast<std::size_t>(got));
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool Session::sendRaw(const void* data, std::size_t length) {
    if (closed_) return false;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t sent = 0;
    // The socket is non-blocking: a library that stops reading must not
    // keep this thread (and with it stop()) in a send for ever.
    while (sent < length) {
        if (emulator_.stopping()) {
            close();
            return false;
        }
        long result = net::sendBytes(socket_, bytes + sent, length - sent);
        if (result < 0 && net::lastError() == net::kErrorWouldBlock) {
            net::WaitResult wait = net::waitSocket(socket_, false, true, 0, kPollMicroseconds);
            if (wait.ready >= 0 && !wait.failed) continue;
        }
        if (result <= 0) {
            close();
            return false;
        }
        sent += static_cast<std::size_t>(result);
    }
    return true;
}

bool Session::sendAnswer(std::uint32_t type, const Bytes& payload) {
    switch (emulator_.fault()) {
        case Fault::None:
            return sendRaw(answerBytes(type, payload));
        case Fault::Silent:
            return true;
        case Fault::ShortAnswer: {
            Bytes bytes = answerBytes(type, payload);
            sendRaw(bytes.data(), bytes.size() / 2);
            close();
            return false;
        }
        case Fault::WrongType:
            return sendRaw(answerBytes(kWrongAnswerType, payload));
        case Fault::HugeLength: {
            Bytes bytes = answerBytes(type, payload);
            wire::putWord(bytes.data() + 4, kHugeLength);
            return sendRaw(bytes);
        }
        case Fault::DropConnection:
            close();
            return false;
    }
    return false;
}

void Session::close() {
    if (!closed_) {
        closed_ = true;
        net::closeSocket(socket_);
    }
}

void Session::run() {
    std::uint8_t header[wire::kHeaderSize];
    while (!closed_ && readExact(header, sizeof header)) {
        Command command;
        command.code = wire::getWord(header);
        const std::uint32_t length = wire::getWord(header + 4);
        if (length > kMaxCommandPayload) {
            emulator_.log("command " + std::to_string(command.code) +
                          " announces an impossible payload; closing");
            break;
        }
        command.payload.resize(length);
        if (!readExact(command.payload.data(), length)) break;
        emulator_.dispatch(*this, command);
        if (command.code == kCmdClose) break;
    }
    close();
}

// ---- Emulator ----

Emulator::Emulator(ScannerConfig config) : config_(std::move(config)) {}

Emulator::~Emulator() { stop(); }

bool Emulator::start(const std::string& bindAddress, std::uint16_t port) {
    if (running_) return false;
    std::uint32_t address = 0;
    if (!net::parseDottedAddress(bindAddress.c_str(), &address)) return false;
    listener_ = net::listenTcp(address, port, 16);
    if (listener_ == net::kInvalidSocket) return false;
    bindAddress_ = bindAddress;
    stopping_ = false;
    running_ = true;
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void Emulator::stop() {
    stopDiscovery();
    if (!running_) return;
    stopping_ = true;
    if (acceptThread_.joinable()) acceptThread_.join();
    std::vector<std::unique_ptr<SessionThread>> threads;
    {
        std::lock_guard<std::mutex> lock(sessionsMutex_);
        threads.swap(sessionThreads_);
    }
    for (auto& session : threads) session->thread.join();
    net::closeSocket(listener_);
    listener_ = net::kInvalidSocket;
    running_ = false;
}

void Emulator::acceptLoop() {
    while (!stopping_) {
        reapEndedSessions();
        net::WaitResult wait = net::waitSocket(listener_, true, false, 0, kPollMicroseconds);
        if (wait.ready <= 0 || !wait.readable) continue;
        net::Socket client = net::acceptConnection(listener_);
        if (client == net::kInvalidSocket) continue;
        net::setNoDelay(client);
        net::setNonBlocking(client, true);
        ++accepted_;
        std::lock_guard<std::mutex> lock(sessionsMutex_);
        auto slot = std::make_unique<SessionThread>();
        SessionThread* held = slot.get();
        held->thread = std::thread([this, client, held] {
            Session session(*this, client);
            session.run();
            held->ended = true;
        });
        sessionThreads_.push_back(std::move(slot));
    }
}

void Emulator::reapEndedSessions() {
    std::lock_guard<std::mutex> lock(sessionsMutex_);
    auto ended = std::partition(sessionThreads_.begin(), sessionThreads_.end(),
                                [](const std::unique_ptr<SessionThread>& s) { return !s->ended; });
    for (auto it = ended; it != sessionThreads_.end(); ++it) (*it)->thread.join();
    sessionThreads_.erase(ended, sessionThreads_.end());
}

std::size_t Emulator::sessionThreads() {
    std::lock_guard<std::mutex> lock(sessionsMutex_);
    return sessionThreads_.size();
}

void Emulator::overrideCommand(std::uint32_t code, Handler handler) {
    std::lock_guard<std::mutex> lock(overridesMutex_);
    overrides_[code] = std::move(handler);
}

void Emulator::clearOverrides() {
    std::lock_guard<std::mutex> lock(overridesMutex_);
    overrides_.clear();
}

Bytes Emulator::received() const {
    std::lock_guard<std::mutex> lock(receivedMutex_);
    return received_;
}

void Emulator::clearReceived() {
    std::lock_guard<std::mutex> lock(receivedMutex_);
    received_.clear();
}

bool Emulator::waitForReceived(std::size_t count, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(receivedMutex_);
    return receivedChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [&] { return received_.size() >= count; });
}

std::size_t Emulator::commandCount(std::uint32_t code) const {
    std::lock_guard<std::mutex> lock(receivedMutex_);
    auto it = commandCounts_.find(code);
    return it == commandCounts_.end() ? 0 : it->second;
}

void Emulator::recordReceived(const std::uint8_t* data, std::size_t length) {
    {
        std::lock_guard<std::mutex> lock(receivedMutex_);
        received_.insert(received_.end(), data, data + length);
    }
    receivedChanged_.notify_all();
}

void Emulator::dispatch(Session& session, const Command& command) {
    {
        std::lock_guard<std::mutex> lock(receivedMutex_);
        ++commandCounts_[command.code];
    }
    if (config_.verbose) {
        log("command " + std::to_string(command.code) + ", " +
            std::to_string(command.payload.size()) + " payload bytes");
    }
    Handler handler;
    {
        std::lock_guard<std::mutex> lock(overridesMutex_);
        auto it = overrides_.find(command.code);
        if (it != overrides_.end()) handler = it->second;
    }
    if (!handler) {
        auto it = builtInHandlers().find(command.code);
        if (it != builtInHandlers().end()) handler = it->second;
    }
    if (handler) {
        handler(session, command);
    } else if (config_.verbose) {
        log("no behaviour for command " + std::to_string(command.code) + "; ignored");
    }
}

void Emulator::log(const std::string& line) const {
    std::fprintf(stderr, "[emulator %s] %s\n", bindAddress_.c_str(), line.c_str());
}

}  // namespace kelo::emu
