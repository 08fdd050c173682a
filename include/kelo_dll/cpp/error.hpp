// SPDX-License-Identifier: Apache-2.0
/** @file
 * kelo::Error, the exception every call of the C++ API throws when the C
 * call beneath it fails, and the checks that turn C results into it. */
#ifndef KELO_DLL_CPP_ERROR_HPP
#define KELO_DLL_CPP_ERROR_HPP

#include <cstdint>
#include <stdexcept>
#include <string>

#include "../../kelo_dll.h"

namespace kelo {

/**
 * A call of the library that failed.
 *
 * It carries the C function's result code (`KELO_ERROR_IO`, `KELO_ERROR_TIMEOUT`,
 * `KELO_ERROR_STATE`, ...) and why the connection says it failed
 * (`lpGetLastFailure` and `lpGetLastFailureDetail`); what() tells both in words.
 */
class Error : public std::runtime_error {
public:
    /**
     * @param call        the C function that failed (a string literal)
     * @param result      its result code
     * @param failure     a `KELO_FAILURE_` code
     * @param detail      the failure's detail: answer type or announced length
     * @param socketError `lpGetLastSocketError` after the call
     * @param connection  the connection the failure is about, or null
     * @param context     what was being done, put before the rest of the message
     */
    Error(const char* call, std::int32_t result, std::int32_t failure, std::int32_t detail,
          std::int32_t socketError, ScannerConnection* connection = nullptr,
          const std::string& context = std::string())
        : std::runtime_error(describe(call, result, failure, detail, socketError, context)),
          call_(call),
          result_(result),
          failure_(failure),
          detail_(detail),
          socketError_(socketError),
          connection_(connection) {}

    /** @return the name of the C function that failed */
    const char* call() const noexcept { return call_; }
    /** @return the C function's result code */
    std::int32_t result() const noexcept { return result_; }
    /** @return why it failed: one of the `KELO_FAILURE_` codes */
    std::int32_t failure() const noexcept { return failure_; }
    /** @return the answer type received (`KELO_FAILURE_WRONG_TYPE`), the
     *  announced length (`KELO_FAILURE_TOO_LONG`), else 0 */
    std::int32_t detail() const noexcept { return detail_; }
    /** @return the thread's last socket error after the call (meaningful for
     *  `KELO_FAILURE_SOCKET` and failed opens and finds) */
    std::int32_t socketError() const noexcept { return socketError_; }
    /** @return the connection the failure is about (for a group: the member), or null */
    ScannerConnection* connection() const noexcept { return connection_; }
    /** @return whether nothing came within a time-out */
    bool timedOut() const noexcept { return failure_ == KELO_FAILURE_TIMEOUT; }

    /**
     * The message what() gives for these values, e.g.
     * `lpGetScan failed with -1 (an answer of type 99 came instead)`.
     * @param call        the C function that failed
     * @param result      its result code
     * @param failure     a `KELO_FAILURE_` code
     * @param detail      the failure's detail
     * @param socketError the socket error, told for `KELO_FAILURE_SOCKET`
     * @param context     put before the rest, followed by a colon; may be empty
     * @return the message
     */
    static std::string describe(const char* call, std::int32_t result, std::int32_t failure,
                                std::int32_t detail, std::int32_t socketError,
                                const std::string& context = std::string()) {
        std::string text = context.empty() ? std::string() : context + ": ";
        text += std::string(call) + " failed with " + std::to_string(result);
        const std::string why = reason(result, failure, detail, socketError);
        return why.empty() ? text : text + " (" + why + ")";
    }

private:
    static std::string reason(std::int32_t result, std::int32_t failure, std::int32_t detail,
                              std::int32_t socketError) {
        switch (failure) {
            case KELO_FAILURE_TIMEOUT: return "no answer within the time-out";
            case KELO_FAILURE_CLOSED: return "the scanner closed the connection";
            case KELO_FAILURE_SOCKET: return "socket error " + std::to_string(socketError);
            case KELO_FAILURE_WRONG_TYPE:
                return "an answer of type " + std::to_string(detail) + " came instead";
            case KELO_FAILURE_TOO_LONG:
                return "the answer announced " + std::to_string(detail) + ", more than can be held";
            case KELO_FAILURE_REFUSED:
                return result == KELO_ERROR_STATE ? "refused"
                                                  : "refused: a null or out-of-range argument";
            default: break;
        }
        switch (result) {
            case KELO_ERROR_NO_PROFILE: return "the scanner had no profile";
            case KELO_ERROR_TIMEOUT: return "no answer within the time-out";
            default: return std::string();
        }
    }

    const char* call_;
    std::int32_t result_;
    std::int32_t failure_;
    std::int32_t detail_;
    std::int32_t socketError_;
    ScannerConnection* connection_;
};

namespace detail {

/** The Error of a call on a connection that gave result, as the connection tells it. */
inline Error errorOf(const char* call, ScannerConnection* connection, std::int32_t result,
                     const std::string& context = std::string()) {
    const std::int32_t socketError = lpGetLastSocketError();
    return Error(call, result, lpGetLastFailure(connection), lpGetLastFailureDetail(connection),
                 socketError, connection, context);
}

/** Throws the Error of a call unless it gave `KELO_OK`. */
inline void check(const char* call, ScannerConnection* connection, std::int32_t result) {
    if (result != KELO_OK) throw errorOf(call, connection, result);
}

/** Whether a call that returns a count failed: negative, or a 21 that was a refusal. */
inline bool countFailed(ScannerConnection* connection, std::int32_t result) {
    return result < 0 ||
           (result == KELO_ERROR_STATE && lpGetLastFailure(connection) == KELO_FAILURE_REFUSED);
}

/** The count a call returned; throws its Error when it failed instead. */
inline std::uint32_t checkCount(const char* call, ScannerConnection* connection,
                                std::int32_t result) {
    if (countFailed(connection, result)) throw errorOf(call, connection, result);
    return static_cast<std::uint32_t>(result);
}

}  // namespace detail
}  // namespace kelo

#endif
