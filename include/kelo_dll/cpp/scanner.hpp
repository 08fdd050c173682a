// SPDX-License-Identifier: Apache-2.0
/** @file
 * kelo::Scanner: one scanner connection, opened in the constructor and
 * closed in the destructor, with a method for each thing an application
 * does with it. */
#ifndef KELO_DLL_CPP_SCANNER_HPP
#define KELO_DLL_CPP_SCANNER_HPP

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "error.hpp"
#include "sync.hpp"

namespace kelo {

namespace detail {

inline std::int32_t readBatch(ScannerConnection* c, ProfileRecord* records, std::uint32_t capacity,
                              std::int32_t timeoutMs) {
    return lpReadMultipleProfilesTimeout(c, records, capacity, timeoutMs);
}
inline std::int32_t readBatch(ScannerConnection* c, LargeProfileRecord* records,
                              std::uint32_t capacity, std::int32_t timeoutMs) {
    return lpReadMultipleLargeProfiles(c, records, capacity, timeoutMs);
}
inline const char* readBatchName(const ProfileRecord*) { return "lpReadMultipleProfilesTimeout"; }

// Gives up what a scanner that has not answered for a whole read time-out
// still owes, so that leaving sync mode sends the exit command and returns
// at once: each owed batch that has begun to arrive is still read (and
// dropped), the others are given up. A read that fails ends it.
inline void giveUpOwed(ScannerConnection* c, std::int32_t readTimeoutMs) {
    ProfileRecord scratch;  // capacity 0: nothing is written
    for (std::int32_t n = lpGetNumberOfOutstandingRequests(c); n > 0; --n) {
        const bool arriving = lpWaitForAnswer(c, 0) == KELO_OK;
        if (readBatch(c, &scratch, 0, arriving ? readTimeoutMs : 0) < 0 && arriving) return;
    }
}
inline const char* readBatchName(const LargeProfileRecord*) { return "lpReadMultipleLargeProfiles"; }

/** Milliseconds as the C API takes them; negative or too long is refused. */
inline std::int32_t milliseconds(std::chrono::milliseconds duration, const char* what) {
    if (duration.count() < 0 || duration.count() > std::numeric_limits<std::int32_t>::max()) {
        throw std::invalid_argument(std::string(what) + " must be 0 to 2147483647 ms");
    }
    return static_cast<std::int32_t>(duration.count());
}

}  // namespace detail

/**
 * One open connection to a scanner.
 *
 * The constructor connects, the destructor closes; a Scanner moves but is
 * never copied. Every method throws kelo::Error when the C call beneath it
 * fails. Calls on one Scanner must not overlap: use it from one thread at a
 * time, and not at all while a kelo::Stream runs on it. native() gives the
 * handle for what is not wrapped.
 */
class Scanner {
public:
    /**
     * Connects to a scanner.
     * @param host           host name or dotted IPv4 address
     * @param port           TCP port, 1 to 65535
     * @param connectTimeout how long the connect may take; 0 for the library's 1 s
     * @throws Error (from `lpOpenConnectionPort`, with the socket error) when
     *         no connection could be made
     */
    explicit Scanner(const std::string& host, std::uint32_t port = KELO_SCANNER_TCP_PORT,
                     std::chrono::milliseconds connectTimeout = std::chrono::milliseconds(0)) {
        const std::string where = "cannot connect to " + host + ":" + std::to_string(port);
        if (port < 1 || port > 65535) {
            throw Error("lpOpenConnectionPort", KELO_ERROR_ARGUMENT, KELO_FAILURE_REFUSED, 0, 0,
                        nullptr, where);
        }
        const std::int32_t timeoutMs = detail::milliseconds(connectTimeout, "the connect time-out");
        connection_ = lpOpenConnectionPort(host.c_str(), port, timeoutMs);
        if (connection_ == nullptr) {
            throw Error("lpOpenConnectionPort", KELO_ERROR_IO, KELO_FAILURE_SOCKET, 0,
                        lpGetLastSocketError(), nullptr, where);
        }
    }

    /**
     * Takes over a handle opened through the C API; the Scanner closes it.
     * @param handle an open connection, not null
     * @return the Scanner that owns it
     * @throws std::invalid_argument for a null handle
     */
    static Scanner adopt(ScannerConnection* handle) {
        if (handle == nullptr) throw std::invalid_argument("kelo::Scanner::adopt: null handle");
        return Scanner(handle);
    }

    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;
    /** Takes over other's connection; other holds nothing afterwards.
     *  @param other the Scanner taken over */
    Scanner(Scanner&& other) noexcept : connection_(std::exchange(other.connection_, nullptr)) {}
    /** Closes the connection held (failures ignored), then takes over other's.
     *  @param other the Scanner taken over; it holds nothing afterwards
     *  @return this Scanner */
    Scanner& operator=(Scanner&& other) noexcept {
        if (this != &other) {
            if (connection_ != nullptr) lpCloseConnection(connection_);
            connection_ = std::exchange(other.connection_, nullptr);
        }
        return *this;
    }
    /** Closes the connection (close command, socket closed, handle freed). */
    ~Scanner() {
        if (connection_ != nullptr) lpCloseConnection(connection_);
    }

    /** @return the C handle, for calls not wrapped here; the Scanner still owns it */
    ScannerConnection* native() const noexcept { return connection_; }
    /** Gives up the handle: the caller closes it with lpCloseConnection().
     *  @return the handle, null when the Scanner held none */
    ScannerConnection* release() noexcept { return std::exchange(connection_, nullptr); }
    /**
     * Closes now; the Scanner holds nothing afterwards.
     * @throws Error when the socket refused to close (the handle is freed all the same)
     */
    void close() {
        ScannerConnection* connection = std::exchange(connection_, nullptr);
        if (connection == nullptr) return;
        const std::int32_t result = lpCloseConnection(connection);
        if (result != KELO_OK) {
            throw Error("lpCloseConnection", result, KELO_FAILURE_SOCKET, 0, lpGetLastSocketError());
        }
    }

    // --- parameters --------------------------------------------------------

    /**
     * Sends a parameter set (its text up to the first NUL) and waits for the verdict.
     * @param text the parameter set, one `Name = value` a line
     * @throws Error with result 21 and the scanner's messages in what() when it
     *         rejects the set (errorMessages() lists them)
     */
    void sendParameters(const std::string& text) {
        checkUpload("lpSendParametersToScanner",
                    lpSendParametersToScanner(connection_, text.c_str()));
    }
    /** Sends a local parameter file; as sendParameters().
     *  @param path the file's path
     *  @throws Error with result 21 when the file cannot be opened or the scanner rejects it */
    void sendParameterFile(const std::string& path) {
        checkUpload("lpSendParameterFileToScanner",
                    lpSendParameterFileToScanner(connection_, path.c_str()));
    }
    /** Fetches the scanner's parameter file into a local file (idle only).
     *  @param path where it is written; an existing file is replaced
     *  @throws Error when the transfer or the write failed */
    void saveParameterFile(const std::string& path) {
        check("lpGetParameterFileFromScanner", lpGetParameterFileFromScanner(connection_, path.c_str()));
    }
    /** @return the messages of the last parameter upload */
    std::vector<std::string> errorMessages() const {
        std::vector<std::string> messages;
        const std::int32_t count = lpGetNumberOfErrorMessages(connection_);
        for (std::int32_t i = 0; i < count; ++i) {
            const char* text = lpGetErrorMessage(connection_, static_cast<std::uint32_t>(i));
            messages.emplace_back(text != nullptr ? text : "");
        }
        return messages;
    }

    // --- calibration -------------------------------------------------------

    /** Fetches every laser's calibration into the connection's store (idle only).
     *  @throws Error when the transfer failed */
    void retrieveCalibration() {
        check("lpRetrieveCalibrationValues", lpRetrieveCalibrationValues(connection_));
    }
    /** @return laser 0's laser count from the store (after retrieveCalibration) */
    std::uint32_t laserCount() {
        return detail::checkCount("lpGetLaserCount", connection_, lpGetLaserCount(connection_));
    }
    /** @return laser 0's scan window from the store, as lpGetScanWindow orders it */
    std::array<double, 4> scanWindow() {
        std::array<double, 4> w{};
        check("lpGetScanWindow", lpGetScanWindow(connection_, &w[0], &w[1], &w[2], &w[3]));
        return w;
    }
    /** @param laser the laser's index, from 0
     *  @return a laser's scan window from the scanner, in thousandths (idle only) */
    std::array<std::int32_t, 4> readScanWindow(std::uint32_t laser) {
        std::array<std::int32_t, 4> w{};
        check("lpReadScanWindowN", lpReadScanWindowN(connection_, laser, &w[0], &w[1], &w[2], &w[3]));
        return w;
    }
    /** Uploads a laser's fourteen intrinsic calibration values (idle only).
     *  @param laser the laser's index, from 0
     *  @param p     the values, as lpSendIntrinsicCalibrationN() takes them */
    void sendIntrinsicCalibration(std::uint32_t laser,
                                  const std::array<double, KELO_TRANSFORM_VALUES>& p) {
        check("lpSendIntrinsicCalibrationN",
              lpSendIntrinsicCalibrationN(connection_, laser, p[0], p[1], p[2], p[3], p[4], p[5],
                                          p[6], p[7], p[8], p[9], p[10], p[11], p[12], p[13]));
    }
    /** Uploads a laser's position values, stamped with the local time (idle only).
     *  @param laser    the laser's index, from 0
     *  @param position the three position values */
    void sendPositionCalibration(std::uint32_t laser,
                                 const std::array<double, KELO_POSITION_VALUES>& position) {
        check("lpSendPositionCalibrationN",
              lpSendPositionCalibrationN(connection_, laser, position[0], position[1], position[2]));
    }
    /** @param laser the laser's index, from 0
     *  @return a laser's current position values from the scanner (idle only) */
    std::array<double, KELO_POSITION_VALUES> readPositionCalibration(std::uint32_t laser) {
        std::array<double, KELO_POSITION_VALUES> p{};
        check("lpReadPositionCalibrationN",
              lpReadPositionCalibrationN(connection_, laser, &p[0], &p[1], &p[2]));
        return p;
    }
    /** @param laser the laser's index, from 0
     *  @param most  the most entries wanted
     *  @return up to `most` earlier position calibrations of a laser (idle only) */
    std::vector<OldPositionCalibration> oldPositionCalibrations(std::uint32_t laser,
                                                                std::uint32_t most) {
        std::vector<OldPositionCalibration> entries(most == 0 ? 1 : most);
        const std::int32_t result =
            lpReadOldPositionCalibrationsN(connection_, laser, entries.data(), most);
        // A count of 0 or less from the scanner is no failure: nothing was written.
        if (lpGetLastFailure(connection_) != KELO_FAILURE_NONE) {
            throw detail::errorOf("lpReadOldPositionCalibrationsN", connection_, result);
        }
        entries.resize(result > 0 ? static_cast<std::size_t>(result) : 0);
        return entries;
    }
    /** @param laser the laser's index, from 0 (after retrieveCalibration())
     *  @return a laser's fourteen transform parameters from the store */
    std::array<double, KELO_TRANSFORM_VALUES> transformParameters(std::int32_t laser) {
        std::array<double, KELO_TRANSFORM_VALUES> p{};
        check("lpGetTransformParametersN",
              lpGetTransformParametersN(connection_, laser, &p[0], &p[1], &p[2], &p[3], &p[4],
                                        &p[5], &p[6], &p[7], &p[8], &p[9], &p[10], &p[11],
                                        &p[12], &p[13]));
        return p;
    }

    // --- status ------------------------------------------------------------

    /** @return the scanner's status values, fetched now, by key (idle only) */
    std::map<std::uint32_t, std::int32_t> status() {
        check("lpGetScannerStatusFromScanner", lpGetScannerStatusFromScanner(connection_));
        // The library answers look-ups of keys up to the number of values it holds.
        std::map<std::uint32_t, std::int32_t> values;
        for (std::uint32_t key = 0; key <= KELO_STATUS_MAX_VALUES; ++key) {
            std::int32_t value = 0;
            if (lpGetScannerStatusValue(connection_, key, &value) == KELO_OK) values[key] = value;
        }
        return values;
    }
    /** @param id        the status value's key, as in status()
     *  @param maxLength the most characters kept
     *  @return the scanner's description of a status value (idle only) */
    std::string statusDescription(std::uint32_t id, std::uint32_t maxLength = 1023) {
        std::string text(std::size_t{maxLength} + 1, '\0');
        check("lpGetStatusDescriptionFromScanner",
              lpGetStatusDescriptionFromScanner(connection_, id, &text[0], maxLength));
        text.resize(text.find('\0'));
        return text;
    }

    // --- single profiles, scans and images --------------------------------

    /**
     * Asks for one profile and reads it (idle only).
     * @param record filled with the profile
     * @return false when the scanner had none (record untouched)
     */
    bool profile(ProfileRecord& record) { return checkProfile("lpGetProfile", lpGetProfile(connection_, &record)); }
    /** One profile of one laser (idle only); as profile().
     *  @param laser  the laser's index, from 0
     *  @param record filled with the profile
     *  @return false when the scanner had none (record untouched) */
    bool profile(std::uint32_t laser, ProfileRecord& record) {
        return checkProfile("lpGetProfileN", lpGetProfileN(connection_, laser, &record));
    }
    /** @param capacity the most profiles read
     *  @return one profile from every laser, at most capacity (idle only) */
    std::vector<ProfileRecord> profilesFromAllLasers(std::uint32_t capacity = 8) {
        std::vector<ProfileRecord> records(capacity == 0 ? 1 : capacity);
        const std::uint32_t got = detail::checkCount(
            "lpGetProfileFromAllLasers", connection_,
            lpGetProfileFromAllLasers(connection_, records.data(), capacity));
        records.resize(got);
        return records;
    }
    /** Reads a scan (idle only); a ScanRecord is about 96 KiB.
     *  @param scan filled with the scan */
    void scan(ScanRecord& scan) { check("lpGetScan", lpGetScan(connection_, &scan)); }
    /** A scan of one laser (idle only).
     *  @param laser the laser's index, from 0
     *  @param scan  filled with the scan */
    void scan(std::uint32_t laser, ScanRecord& scan) { check("lpGetScanN", lpGetScanN(connection_, laser, &scan)); }
    /** @return a scan in a record of its own (idle only) */
    std::unique_ptr<ScanRecord> scan() {
        std::unique_ptr<ScanRecord> record(new ScanRecord);
        scan(*record);
        return record;
    }
    /** A diagnostic scan (idle only).
     *  @param value1 the scanner's first diagnostic value
     *  @param value2 its second
     *  @param value3 its third
     *  @param scan   filled with the scan */
    void diagnosticScan(std::uint32_t value1, std::uint32_t value2, std::uint32_t value3, ScanRecord& scan) {
        check("lpGetDiagnosticScan", lpGetDiagnosticScan(connection_, value1, value2, value3, &scan));
    }
    /** Reads a camera image (idle only); an ImageRecord is about 4 MiB,
     *  too large for a thread's stack.
     *  @param image filled with the image */
    void image(ImageRecord& image) { check("lpGetImage", lpGetImage(connection_, &image)); }
    /** A camera image of one laser (idle only).
     *  @param laser the laser's index, from 0
     *  @param image filled with the image */
    void image(std::uint32_t laser, ImageRecord& image) {
        check("lpGetImageN", lpGetImageN(connection_, laser, &image));
    }
    /** @return a camera image in a record of its own (idle only) */
    std::unique_ptr<ImageRecord> image() {
        std::unique_ptr<ImageRecord> record(new ImageRecord);
        image(*record);
        return record;
    }
    /** A camera image and the scan that follows it (idle only).
     *  @param image filled with the image
     *  @param scan  filled with the scan */
    void imageScan(ImageRecord& image, ScanRecord& scan) {
        check("lpGetImageScan", lpGetImageScan(connection_, &image, &scan));
    }
    /** A camera image and the scan that follows it, of one laser (idle only).
     *  @param laser the laser's index, from 0
     *  @param image filled with the image
     *  @param scan  filled with the scan */
    void imageScan(std::uint32_t laser, ImageRecord& image, ScanRecord& scan) {
        check("lpGetImageScanN", lpGetImageScanN(connection_, laser, &image, &scan));
    }
    /** A diagnostic image and scan (idle only).
     *  @param value1 the scanner's first diagnostic value
     *  @param value2 its second
     *  @param value3 its third
     *  @param image  filled with the image
     *  @param scan   filled with the scan */
    void diagnosticImageScan(std::uint32_t value1, std::uint32_t value2, std::uint32_t value3,
                             ImageRecord& image, ScanRecord& scan) {
        check("lpGetDiagnosticImageScan",
              lpGetDiagnosticImageScan(connection_, value1, value2, value3, &image, &scan));
    }

    // --- sync modes --------------------------------------------------------

    /**
     * Enters a sync mode (setting the encoder first, or starting the pulses
     * after, as `sync` says).
     * @param sync the mode, and what is set on entering it
     * @return the guard whose destructor leaves the mode again
     * @throws Error when a command could not be sent (nothing left to undo)
     */
    SyncGuard enterSync(const Sync& sync = Sync::time()) {
        switch (sync.mode) {
            case SyncMode::Time:
                check("lpEnterTimeSyncMode", lpEnterTimeSyncMode(connection_));
                break;
            case SyncMode::Encoder:
                if (sync.setEncoder) {
                    check("lpSetEncoderValue32", lpSetEncoderValue32(connection_, sync.encoderValue));
                }
                check("lpEnterEncoderSyncMode", lpEnterEncoderSyncMode(connection_));
                break;
            case SyncMode::Pulse:
                check("lpEnterPulseSyncMode", lpEnterPulseSyncMode(connection_));
                break;
        }
        SyncGuard guard(connection_, sync.mode == SyncMode::Pulse);
        if (sync.mode == SyncMode::Pulse) {
            check("lpStartPulseMaster",
                  lpStartPulseMaster(connection_, sync.pulseSetting1, sync.pulseSetting2));
        }
        return guard;
    }
    /** Leaves sync mode without a guard, draining what is still owed. */
    void exitSync() { check("lpExitSyncMode", lpExitSyncMode(connection_)); }
    /** Halts acquisition; the connection stays synchronised. */
    void haltSync() { check("lpHaltSyncMode", lpHaltSyncMode(connection_)); }
    /** @return whether the connection is synchronised */
    bool synchronised() const { return lpIsInSyncMode(connection_) == 1; }
    /** Sets the encoder value (idle only).
     *  @param value the new value */
    void setEncoderValue(std::uint32_t value) {
        check("lpSetEncoderValue32", lpSetEncoderValue32(connection_, value));
    }
    /** Starts the pulse generator (synchronised only).
     *  @param setting1 in [1000, 5000000]
     *  @param setting2 in [0, 511] */
    void startPulses(std::int32_t setting1, std::uint32_t setting2 = 0) {
        check("lpStartPulseMaster", lpStartPulseMaster(connection_, setting1, setting2));
    }
    /** Stops the pulse generator (synchronised only). */
    void stopPulses() { check("lpStopPulses", lpStopPulses(connection_)); }

    // --- batches by hand (kelo::Stream does this on a thread of its own) ---

    /** Asks for a batch of up to count profiles (synchronised only).
     *  @param count the profiles asked for, at least 1 */
    void requestProfiles(std::uint32_t count) {
        check("lpSendMultipleProfileRequest", lpSendMultipleProfileRequest(connection_, count));
    }
    /**
     * Waits for the next answer without reading it.
     * @param timeout the longest wait; 0 only looks
     * @return false when nothing came within the time-out (still owed)
     */
    bool waitForAnswer(std::chrono::milliseconds timeout) {
        const std::int32_t result =
            lpWaitForAnswer(connection_, detail::milliseconds(timeout, "the wait"));
        if (result == KELO_ERROR_TIMEOUT) return false;
        check("lpWaitForAnswer", result);
        return true;
    }
    /**
     * Reads the oldest batch owed into records (synchronised only).
     * @tparam Record   ProfileRecord or LargeProfileRecord
     * @param records   where the profiles are stored
     * @param capacity  the records there is room for; profiles beyond it are read and dropped
     * @param timeout   the longest wait for each piece of the answer
     * @return the number of records stored (0 when nothing was owed)
     * @throws Error also for a time-out (result -4): the answer is then given up
     */
    template <typename Record>
    std::uint32_t readProfiles(Record* records, std::uint32_t capacity,
                               std::chrono::milliseconds timeout) {
        const std::int32_t result = detail::readBatch(
            connection_, records, capacity, detail::milliseconds(timeout, "the read time-out"));
        return detail::checkCount(detail::readBatchName(records), connection_, result);
    }
    /** @return the batch answers owed to the connection */
    std::uint32_t outstandingRequests() const {
        return static_cast<std::uint32_t>(lpGetNumberOfOutstandingRequests(connection_));
    }

    // --- run-time overrides -------------------------------------------------

    /**
     * Overrides the scanner's sync settings (idle only). The values are the
     * scanner's, sent in this order as lpOverrideSyncSettings() says. The
     * overrides have no answer: success means sent, not taken.
     * @param real1 sent times 1,000,000
     * @param real2 sent times 10,000
     * @param real3 sent times 10,000
     * @param int1  sent unchanged
     * @param flag1 a flag
     * @param real4 sent times 1000
     * @param real5 sent times 1000
     * @param real6 sent times 1000
     * @param real7 sent times 1000
     * @param real8 sent times 1000
     * @param flag2 a flag
     * @param flag3 a flag
     */
    void overrideSyncSettings(double real1, double real2, double real3, std::uint32_t int1,
                              std::uint8_t flag1, double real4, double real5, double real6,
                              double real7, double real8, std::uint8_t flag2, std::uint8_t flag3) {
        check("lpOverrideSyncSettings",
              lpOverrideSyncSettings(connection_, real1, real2, real3, int1, flag1, real4, real5,
                                     real6, real7, real8, flag2, flag3));
    }
    /**
     * Overrides the lasers' automatic exposure (idle only); the values are
     * the scanner's, as lpOverrideLaserAutoexposure() takes them.
     * @param real1 from ::KELO_AUTOEXPOSURE_REAL_MIN to ::KELO_AUTOEXPOSURE_REAL_MAX
     * @param real2 in the same range
     * @param real3 in the same range
     * @param int1  from 0 to ::KELO_AUTOEXPOSURE_WORD_MAX
     * @param int2  from ::KELO_AUTOEXPOSURE_INT_MIN to ::KELO_AUTOEXPOSURE_INT_MAX
     * @param int3  from 0 to ::KELO_AUTOEXPOSURE_WORD_MAX
     * @param flag  a flag
     */
    void overrideLaserAutoexposure(double real1, double real2, double real3, std::uint32_t int1,
                                   std::int32_t int2, std::uint32_t int3, std::uint8_t flag) {
        check("lpOverrideLaserAutoexposure",
              lpOverrideLaserAutoexposure(connection_, real1, real2, real3, int1, int2, int3, flag));
    }
    /**
     * Overrides the scan window (idle only), as lpOverrideScanWindow().
     * @param real1 larger value of the first pair
     * @param real2 smaller value of the first pair
     * @param real3 smaller value of the second pair
     * @param real4 larger value of the second pair
     */
    void overrideScanWindow(double real1, double real2, double real3, double real4) {
        check("lpOverrideScanWindow", lpOverrideScanWindow(connection_, real1, real2, real3, real4));
    }
    /**
     * Switches alternating exposure on or off (synchronised only).
     * @param enable    whether the two exposures alternate
     * @param exposure1 with enable, from ::KELO_ALTERNATING_EXPOSURE_MIN to
     *                  ::KELO_ALTERNATING_EXPOSURE_MAX
     * @param exposure2 the same for the second exposure
     */
    void setAlternatingExposure(bool enable, std::int32_t exposure1, std::int32_t exposure2) {
        check("lpSetAlternatingExposure",
              lpSetAlternatingExposure(connection_, enable ? 1 : 0, exposure1, exposure2));
    }

    // --- firmware ----------------------------------------------------------

    /**
     * Sends a firmware image and waits for the scanner's confirmation.
     * @param image   the image's bytes
     * @param size    its size in bytes, below 4 GiB
     * @param version the version number the scanner is told
     * @throws Error with result 21 when the scanner did not confirm
     */
    void updateFirmware(const std::uint8_t* image, std::size_t size, std::uint32_t version) {
        if (size > std::numeric_limits<std::uint32_t>::max()) {
            throw Error("lpSendScannerFirmwareUpdate", KELO_ERROR_ARGUMENT, KELO_FAILURE_REFUSED,
                        0, 0, connection_, "a firmware image of 4 GiB or more");
        }
        check("lpSendScannerFirmwareUpdate",
              lpSendScannerFirmwareUpdate(connection_, image, static_cast<std::uint32_t>(size), version));
    }
    /** The same for an image held in a vector.
     *  @param image   the image's bytes
     *  @param version the version number the scanner is told
     *  @throws Error with result 21 when the scanner did not confirm */
    void updateFirmware(const std::vector<std::uint8_t>& image, std::uint32_t version) {
        updateFirmware(image.data(), image.size(), version);
    }

private:
    explicit Scanner(ScannerConnection* handle) noexcept : connection_(handle) {}

    void check(const char* call, std::int32_t result) const { detail::check(call, connection_, result); }

    bool checkProfile(const char* call, std::int32_t result) const {
        if (result == KELO_ERROR_NO_PROFILE) return false;
        check(call, result);
        return true;
    }

    void checkUpload(const char* call, std::int32_t result) const {
        if (result == KELO_OK) return;
        std::string messages;
        for (const std::string& message : errorMessages()) {
            messages += messages.empty() ? message : "; " + message;
        }
        throw detail::errorOf(call, connection_, result, messages);
    }

    ScannerConnection* connection_ = nullptr;
};

/** @return the library's major and minor version numbers */
inline std::pair<std::uint32_t, std::uint32_t> libraryVersion() {
    return {lpGetKeloDllMajorVersionNumber(), lpGetKeloDllMinorVersionNumber()};
}

}  // namespace kelo

#endif
