// SPDX-License-Identifier: Apache-2.0
#include "emulator/discovery_responder.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "core/wire.h"
#include "discovery/udp_message.h"
#include "kelo_dll/discovery.h"
#include "kelo_dll/network_config.h"

namespace kelo::emu {

class DiscoveryResponder;

struct DiscoveryState {
    std::mutex mutex;
    std::condition_variable datagramsChanged;
    NetworkSettings settings;
    int laserCount = 1;
    std::vector<Datagram> datagrams;
    DiscoveryReplyHook hook;
    std::shared_ptr<DiscoveryResponder> responder;
    // Replies leave from the scanner's own address through this socket,
    // when it has one (see Emulator::startDiscovery).
    net::Socket replySocket = net::kInvalidSocket;
};

namespace {

constexpr long kPollMicroseconds = 100000;
constexpr std::uint8_t kRecordVersion = 1;
constexpr std::uint32_t kDefaultSecondAddress = 0xFFFFFF00u;  // 255.255.255.0
constexpr char kBlockText[] = "kelo-scanner-emulator";

bool selects(const NetworkSettings& settings, const udp::Selector& selector) {
    switch (selector.mode) {
        case udp::kSelectAll: return true;
        case udp::kSelectByCableId: return selector.value == settings.cableId;
        case udp::kSelectBySerialNumber: return selector.value == settings.serialNumber;
    }
    return false;
}

bool addressedTo(const NetworkSettings& settings, const udp::Selector& selector) {
    return selector.mode == udp::kSelectBySerialNumber && selector.value == settings.serialNumber;
}

Bytes buildRecord(const NetworkSettings& settings, int laserCount) {
    Bytes record(sizeof(ScannerInfo), 0);
    std::uint8_t* r = record.data();
    udp::putLe32(r + offsetof(ScannerInfo, value1), settings.serialNumber);
    udp::putLe16(r + offsetof(ScannerInfo, value2), static_cast<std::uint16_t>(settings.cableId));
    r[offsetof(ScannerInfo, value3)] = settings.ipMode;
    udp::putAddress(r + offsetof(ScannerInfo, value4), settings.address);
    udp::putLe32(r + offsetof(ScannerInfo, identity), settings.serialNumber);
    r[offsetof(ScannerInfo, value6)] = static_cast<std::uint8_t>(laserCount);
    r[offsetof(ScannerInfo, value7)] = kRecordVersion;
    udp::putAddress(r + offsetof(ScannerInfo, value8), settings.secondAddress);
    std::memcpy(r + offsetof(ScannerInfo, block), kBlockText, sizeof kBlockText - 1);
    return record;
}

}  // namespace

class DiscoveryResponder {
public:
    // The responder of this address and port, shared while anyone holds it;
    // null when the port cannot be bound.
    static std::shared_ptr<DiscoveryResponder> acquire(std::uint32_t address, std::uint16_t port) {
        static std::mutex registryMutex;
        static std::map<std::pair<std::uint32_t, std::uint16_t>, std::weak_ptr<DiscoveryResponder>>
            registry;
        std::lock_guard<std::mutex> lock(registryMutex);
        auto& slot = registry[{address, port}];
        if (auto existing = slot.lock()) return existing;
        const net::Socket s = net::openUdpSocket();
        if (s == net::kInvalidSocket) return nullptr;
        if (net::setReuseAddress(s) != 0 || net::bindSocket(s, address, port) != 0) {
            net::closeSocket(s);
            return nullptr;
        }
        auto responder = std::shared_ptr<DiscoveryResponder>(new DiscoveryResponder(s));
        slot = responder;
        return responder;
    }

    ~DiscoveryResponder() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
        net::closeSocket(socket_);
    }

    void add(DiscoveryState* scanner) {
        std::lock_guard<std::mutex> lock(mutex_);
        scanners_.push_back(scanner);
    }

    void remove(DiscoveryState* scanner) {
        std::lock_guard<std::mutex> lock(mutex_);
        scanners_.erase(std::remove(scanners_.begin(), scanners_.end(), scanner), scanners_.end());
    }

private:
    explicit DiscoveryResponder(net::Socket s) : socket_(s) {
        thread_ = std::thread([this] { run(); });
    }

    void run() {
        udp::Message message;
        while (!stopping_) {
            const net::WaitResult wait = net::waitSocket(socket_, true, false, 0, kPollMicroseconds);
            if (wait.ready <= 0 || !wait.readable) continue;
            message.fill(0);
            Datagram datagram;
            const long length = net::receiveFrom(socket_, message.data(), message.size(),
                                                 &datagram.fromAddress, &datagram.fromPort);
            if (length < 0) continue;
            datagram.bytes.assign(message.begin(), message.begin() + length);
            handle(message, datagram);
        }
    }

    void sendTo(net::Socket from, std::uint32_t address, std::uint16_t port, const Bytes& bytes) {
        net::sendTo(from != net::kInvalidSocket ? from : socket_, bytes.data(), bytes.size(), address, port);
    }

    // Scanners are handled one by one under the lock, so none goes away
    // while its reply is built.
    void handle(const udp::Message& message, const Datagram& datagram) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (DiscoveryState* scanner : scanners_) {
            {
                std::lock_guard<std::mutex> scannerLock(scanner->mutex);
                scanner->datagrams.push_back(datagram);
            }
            scanner->datagramsChanged.notify_all();
        }
        if (datagram.bytes.size() <= udp::layout::kType || !udp::hasMagic(message)) return;
        const udp::Selector selector = udp::selector(message);
        for (DiscoveryState* scanner : scanners_) {
            switch (udp::messageType(message)) {
                case udp::kDiscoveryRequest: answer(*scanner, message, datagram, selector); break;
                case udp::kCableIdConfiguration: applyCableId(*scanner, message, selector); break;
                case udp::kIpConfiguration: applyIp(*scanner, message, selector); break;
                default: break;
            }
        }
    }

    void answer(DiscoveryState& scanner, const udp::Message& request, const Datagram& datagram,
                const udp::Selector& selector) {
        const std::uint16_t replyPort = udp::requestReplyPort(request);
        NetworkSettings settings;
        int laserCount;
        DiscoveryReplyHook hook;
        net::Socket from;
        {
            std::lock_guard<std::mutex> lock(scanner.mutex);
            settings = scanner.settings;
            laserCount = scanner.laserCount;
            hook = scanner.hook;
            from = scanner.replySocket;
        }
        if (replyPort == 0 || !selects(settings, selector)) return;
        const std::uint32_t to = datagram.fromAddress;
        if (hook) {
            hook(Bytes(request.begin(), request.end()),
                 [this, from, to, replyPort](const Bytes& bytes) { sendTo(from, to, replyPort, bytes); });
            return;
        }
        udp::Message reply;
        udp::buildDiscoveryReply(reply, buildRecord(settings, laserCount).data());
        sendTo(from, to, replyPort, Bytes(reply.begin(), reply.end()));
    }

    static void applyCableId(DiscoveryState& scanner, const udp::Message& message,
                             const udp::Selector& selector) {
        const udp::CableIdSetting setting = udp::cableIdSetting(message);
        std::lock_guard<std::mutex> lock(scanner.mutex);
        if (!addressedTo(scanner.settings, selector)) return;
        if (setting.action == udp::kSetCableId && setting.cableId <= KELO_MAX_CABLE_ID) {
            scanner.settings.cableId = setting.cableId;
        } else if (setting.action == udp::kClearCableId) {
            scanner.settings.cableId = 0;
        }
    }

    static void applyIp(DiscoveryState& scanner, const udp::Message& message,
                        const udp::Selector& selector) {
        const udp::IpSetting setting = udp::ipSetting(message);
        std::lock_guard<std::mutex> lock(scanner.mutex);
        if (!addressedTo(scanner.settings, selector)) return;
        if (setting.mode != udp::kStaticAddress && setting.mode != udp::kBaseAddress) return;
        scanner.settings.ipMode = setting.mode;
        scanner.settings.address = setting.address;
        scanner.settings.secondAddress = setting.secondAddress;
    }

    net::Socket socket_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<DiscoveryState*> scanners_;
};

bool Emulator::startDiscovery(const std::string& bindAddress, std::uint16_t port) {
    std::uint32_t address = 0;
    if (!net::parseDottedAddress(bindAddress.c_str(), &address)) return false;
    // A scanner answers from its own address. Broadcasts only reach a socket
    // bound to any address, so the replies of an emulator whose TCP side has
    // an address of its own leave through a second socket bound to it.
    std::uint32_t own = address;
    net::Socket replySocket = net::kInvalidSocket;
    if (running_ && net::parseDottedAddress(bindAddress_.c_str(), &own) && own != 0 && own != address) {
        replySocket = net::openUdpSocket();
        if (replySocket == net::kInvalidSocket) return false;
        if (net::setReuseAddress(replySocket) != 0 || net::bindSocket(replySocket, own, port) != 0) {
            net::closeSocket(replySocket);
            return false;
        }
    } else {
        own = address;
    }
    DiscoveryState& scanner = state<DiscoveryState>();
    {
        std::lock_guard<std::mutex> lock(scanner.mutex);
        if (scanner.responder) {
            if (replySocket != net::kInvalidSocket) net::closeSocket(replySocket);
            return false;
        }
        scanner.replySocket = replySocket;
        scanner.settings.serialNumber = config_.serialNumber;
        scanner.settings.cableId = config_.cableId;
        scanner.settings.ipMode = udp::kStaticAddress;
        scanner.settings.address = own;
        scanner.settings.secondAddress = wire::hostToNetwork(kDefaultSecondAddress);
        scanner.laserCount = config_.laserCount;
    }
    std::shared_ptr<DiscoveryResponder> responder = DiscoveryResponder::acquire(address, port);
    if (!responder) {
        stopDiscovery();  // closes the reply socket
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(scanner.mutex);
        scanner.responder = responder;
    }
    responder->add(&scanner);
    if (config_.verbose) log("discovery on " + bindAddress + ":" + std::to_string(port));
    return true;
}

void Emulator::stopDiscovery() {
    DiscoveryState& scanner = state<DiscoveryState>();
    std::shared_ptr<DiscoveryResponder> responder;
    {
        std::lock_guard<std::mutex> lock(scanner.mutex);
        responder.swap(scanner.responder);
    }
    if (responder) responder->remove(&scanner);
    // The last emulator to leave ends the responder's thread here.
    std::lock_guard<std::mutex> lock(scanner.mutex);
    if (scanner.replySocket != net::kInvalidSocket) net::closeSocket(scanner.replySocket);
    scanner.replySocket = net::kInvalidSocket;
}

NetworkSettings networkSettings(Emulator& emulator) {
    DiscoveryState& scanner = emulator.state<DiscoveryState>();
    std::lock_guard<std::mutex> lock(scanner.mutex);
    return scanner.settings;
}

Bytes scannerInfoRecord(Emulator& emulator) {
    DiscoveryState& scanner = emulator.state<DiscoveryState>();
    std::lock_guard<std::mutex> lock(scanner.mutex);
    return buildRecord(scanner.settings, scanner.laserCount);
}

std::vector<Datagram> receivedDatagrams(Emulator& emulator) {
    DiscoveryState& scanner = emulator.state<DiscoveryState>();
    std::lock_guard<std::mutex> lock(scanner.mutex);
    return scanner.datagrams;
}

void clearReceivedDatagrams(Emulator& emulator) {
    DiscoveryState& scanner = emulator.state<DiscoveryState>();
    std::lock_guard<std::mutex> lock(scanner.mutex);
    scanner.datagrams.clear();
}

bool waitForDatagrams(Emulator& emulator, std::size_t count, int timeoutMs) {
    DiscoveryState& scanner = emulator.state<DiscoveryState>();
    std::unique_lock<std::mutex> lock(scanner.mutex);
    return scanner.datagramsChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                             [&] { return scanner.datagrams.size() >= count; });
}

void setDiscoveryReplyHook(Emulator& emulator, DiscoveryReplyHook hook) {
    DiscoveryState& scanner = emulator.state<DiscoveryState>();
    std::lock_guard<std::mutex> lock(scanner.mutex);
    scanner.hook = std::move(hook);
}

}  // namespace kelo::emu
