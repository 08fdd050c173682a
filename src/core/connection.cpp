// SPDX-License-Identifier: Apache-2.0
// Opening, closing and the small accessors of a connection.
#include <new>

#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll/connection.h"
#include "kelo_dll/extensions.h"

using kelo::net::kInvalidSocket;
using kelo::net::Socket;

namespace {

// The object is only handed out once its socket is connected, so a failed
// open leaves nothing behind.
ScannerConnection* adopt(Socket s) {
    if (s == kInvalidSocket) return nullptr;
    auto* connection = new (std::nothrow) ScannerConnection();
    if (connection != nullptr && connection->readAhead == nullptr) {
        delete connection;
        connection = nullptr;
    }
    if (connection == nullptr) {
        kelo::net::closeSocket(s);
        return nullptr;
    }
    connection->socket = s;
    kelo::net::setNoDelay(s);
    return connection;
}

}  // namespace

extern "C" {

KELO_API ScannerConnection* KELO_CALL lpOpenConnection(const char* host) {
    if (host == nullptr) return nullptr;
    return adopt(kelo::connectHost(host, KELO_SCANNER_TCP_PORT));
}

KELO_API ScannerConnection* KELO_CALL lpOpenConnectionPort(const char* host, uint32_t port,
                                                          int32_t connectTimeoutMs) {
    if (host == nullptr || port == 0 || port > 0xFFFFu) return nullptr;
    const std::int32_t timeoutMs = connectTimeoutMs > 0 ? connectTimeoutMs : kelo::kConnectTimeoutMs;
    return adopt(kelo::connectHost(host, static_cast<std::uint16_t>(port), timeoutMs));
}

KELO_API ScannerConnection* KELO_CALL lpOpenConnectionInt(uint32_t address) {
    return adopt(kelo::connectAddress(address, KELO_SCANNER_TCP_PORT));
}

KELO_API ScannerConnection* KELO_CALL lpOpenConnectionBase(const char* host, uint32_t offset) {
    if (host == nullptr) return nullptr;
    std::uint32_t base = 0;
    if (!kelo::net::lookupHost(host, &base)) return nullptr;
    return adopt(kelo::connectAddress(kelo::wire::offsetAddress(base, offset), KELO_SCANNER_TCP_PORT));
}

KELO_API int32_t KELO_CALL lpCloseConnection(ScannerConnection* connection) {
    if (connection == nullptr) return 0;
    // The close command is best effort: a peer that is gone still gets its
    // socket closed and the object freed.
    kelo::sendCommand(connection->link(), kelo::wire::buildCommand(kelo::kCmdClose));
    const int32_t result = kelo::net::closeSocket(connection->socket);
    delete connection;
    return result;
}

// A null handle has no socket: -1, the invalid socket value as a signed number.
KELO_API int32_t KELO_CALL lpGetSocket(ScannerConnection* connection) {
    if (connection == nullptr) return -1;
    return static_cast<int32_t>(connection->socket);
}

KELO_API uint32_t KELO_CALL lpGetKeloDllMajorVersionNumber(void) { return KELO_DLL_MAJOR_VERSION; }
KELO_API uint32_t KELO_CALL lpGetKeloDllMinorVersionNumber(void) { return KELO_DLL_MINOR_VERSION; }

KELO_API int32_t KELO_CALL lpGetNumberOfErrorMessages(ScannerConnection* connection) {
    if (connection == nullptr) return 0;
    return static_cast<int32_t>(connection->errorMessages.size());
}

KELO_API const char* KELO_CALL lpGetErrorMessage(ScannerConnection* connection, uint32_t index) {
    if (connection == nullptr || index >= connection->errorMessages.size()) return nullptr;
    return connection->errorMessages[index].c_str();
}

KELO_API int32_t KELO_CALL lpGetLastSocketError(void) { return kelo::net::lastError(); }

KELO_API int32_t KELO_CALL lpGetLastFailure(ScannerConnection* connection) {
    if (connection == nullptr) return KELO_ERROR_ARGUMENT;
    return connection->failure.code;
}

KELO_API int32_t KELO_CALL lpGetLastFailureDetail(ScannerConnection* connection) {
    if (connection == nullptr) return KELO_ERROR_ARGUMENT;
    return connection->failure.detail;
}

}  // extern "C"
