// SPDX-License-Identifier: Apache-2.0
// Parameter files: uploading a local file, fetching the scanner's set into one.
// Files are opened in text mode (line ends translated where the platform
// does so) and shared with other processes.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "config/parameter_upload.h"
#include "core/call_outcome.h"
#include "core/command_codes.h"
#include "core/scanner_connection.h"
#include "core/transport.h"
#include "core/wire.h"
#include "kelo_dll/parameters.h"

namespace {

const char kCannotOpenMessage[] = "Couldn't open local parameter file: ";
const char kTooLargeMessage[] = "Local parameter file too large: ";
// The scanner's parameter text is received this much at a time.
constexpr std::size_t kReceivePiece = 64 * 1024;
// The upload's length word is 32 bits, and the text is held in one buffer of
// the size plus a NUL, which a 32-bit process keeps below 2 GiB.
constexpr std::uint64_t kMaxLengthWord = 0xFFFFFFFFull;
constexpr std::uint64_t kMaxHeldText = static_cast<std::uint64_t>(PTRDIFF_MAX) - 1;
constexpr std::uint64_t kMaxUploadFileBytes =
    kMaxHeldText < kMaxLengthWord ? kMaxHeldText : kMaxLengthWord;

int32_t refuseFile(ScannerConnection& connection, const char* reason, const char* path) {
    try {
        connection.errorMessages.push_back(std::string(reason) + path);
    } catch (const std::bad_alloc&) {
        // The refusal stands without its message.
    }
    return kelo::refuse(&connection, KELO_ERROR_STATE);
}

}  // namespace

extern "C" {

KELO_API int32_t KELO_CALL lpBeginSendParameterFileToScanner(ScannerConnection* connection,
                                                             const char* path) {
    if (!kelo::beginCall(connection, path)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    connection->errorMessages.clear();
    std::vector<char> text;
    {
        // A directory opens as a stream on some platforms but holds no text.
        std::error_code ignored;
        if (std::filesystem::is_directory(path, ignored))
            return refuseFile(*connection, kCannotOpenMessage, path);
        std::ifstream file(path, std::ios::in);
        if (!file.is_open()) return refuseFile(*connection, kCannotOpenMessage, path);
        file.seekg(0, std::ios::end);
        const std::streamoff end = file.tellg();
        // A position that cannot be taken is a file that cannot be read.
        if (!file || end < 0) return refuseFile(*connection, kCannotOpenMessage, path);
        const auto size = static_cast<std::uint64_t>(end);
        if (size > kMaxUploadFileBytes) return refuseFile(*connection, kTooLargeMessage, path);
        try {
            text.assign(static_cast<std::size_t>(size) + 1, '\0');
        } catch (const std::bad_alloc&) {
            return refuseFile(*connection, kTooLargeMessage, path);
        } catch (const std::length_error&) {
            return refuseFile(*connection, kTooLargeMessage, path);
        }
        file.seekg(0, std::ios::beg);
        // Text mode may deliver fewer bytes than the size; the rest stays zero.
        file.read(text.data(), static_cast<std::streamsize>(size));
    }
    return lpBeginSendParametersToScanner(connection, text.data());
}

KELO_API int32_t KELO_CALL lpSendParameterFileToScanner(ScannerConnection* connection,
                                                        const char* path) {
    const int32_t begun = lpBeginSendParameterFileToScanner(connection, path);
    if (begun != KELO_OK) return begun;
    return lpEndSendParametersToScanner(connection);
}

KELO_API int32_t KELO_CALL lpGetParameterFileFromScanner(ScannerConnection* connection,
                                                         const char* path) {
    if (!kelo::beginCall(connection, path)) return KELO_ERROR_ARGUMENT;
    if (connection->synchronised()) return kelo::refuse(connection, KELO_ERROR_STATE);
    const kelo::Link s = connection->link();
    if (kelo::sendCommand(s, kelo::wire::buildCommand(kelo::kCmdParameterFile)) != 0)
        return KELO_ERROR_IO;
    std::uint8_t headerBytes[kelo::wire::kHeaderSize];
    if (kelo::receiveExactDefault(s, headerBytes, sizeof headerBytes) != kelo::kReceiveOk)
        return KELO_ERROR_IO;
    const std::uint32_t length = kelo::wire::parseAnswerHeader(headerBytes).length;
    if (length > kelo::kMaxParameterTextBytes) return kelo::answerTooLong(connection, length);
    // The text grows with what arrives, not with what the header announces.
    std::vector<char> text;
    while (text.size() < length) {
        const std::size_t piece = std::min<std::size_t>(length - text.size(), kReceivePiece);
        const std::size_t at = text.size();
        try {
            text.resize(at + piece);
        } catch (const std::bad_alloc&) {
            return kelo::outOfMemory(connection);
        }
        if (kelo::receiveExactDefault(s, text.data() + at, static_cast<std::uint32_t>(piece)) !=
            kelo::kReceiveOk)
            return KELO_ERROR_IO;
    }
    // The whole answer is in: a local failure from here on leaves the
    // connection in step with the scanner.
    std::ofstream file(path, std::ios::out | std::ios::trunc);
    if (!file.is_open()) return kelo::refuse(connection, KELO_ERROR_STATE);
    file.write(text.data(), static_cast<std::streamsize>(length));
    file.close();
    return file ? KELO_OK : kelo::refuse(connection, KELO_ERROR_STATE);
}

}  // extern "C"
