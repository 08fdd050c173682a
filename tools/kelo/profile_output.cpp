// SPDX-License-Identifier: Apache-2.0
#include "profile_output.h"

namespace kelo::cli {
namespace {
constexpr std::size_t kStdoutBuffer = 1 << 16;
}  // namespace

ProfileOutput::~ProfileOutput() { close(); }

bool ProfileOutput::open(const std::string& path, ProfileFormat format) {
    format_ = format;
    if (path == "-") {
        // Standard output may be unbuffered for messages; profiles want a buffer.
        std::setvbuf(stdout, nullptr, _IOFBF, kStdoutBuffer);
        file_ = stdout;
        ownsFile_ = false;
    } else {
        file_ = std::fopen(path.c_str(), format == ProfileFormat::Binary ? "wb" : "w");
        ownsFile_ = true;
        if (file_ == nullptr) return false;
    }
    if (format_ == ProfileFormat::Csv && std::fputs("profile,point,v0,v1,v2\n", file_) < 0) {
        failed_ = true;
    }
    return !failed_;
}

bool ProfileOutput::write(std::uint64_t index, const ProfileView& profile) {
    if (file_ == nullptr || failed_) return false;
    if (format_ == ProfileFormat::Binary) {
        failed_ = std::fwrite(profile.raw, 1, profile.rawSize, file_) != profile.rawSize;
        return !failed_;
    }
    for (std::int32_t i = 0; i < profile.pointCount; ++i) {
        const std::int32_t* p = profile.points[i];
        if (std::fprintf(file_, "%llu,%d,%d,%d,%d\n", static_cast<unsigned long long>(index), i,
                         p[0], p[1], p[2]) < 0) {
            failed_ = true;
            return false;
        }
    }
    return true;
}

bool ProfileOutput::flush() {
    if (file_ != nullptr && !failed_ && std::fflush(file_) != 0) failed_ = true;
    return !failed_;
}

bool ProfileOutput::close() {
    if (file_ == nullptr) return !failed_;
    if (std::fflush(file_) != 0) failed_ = true;
    if (ownsFile_ && std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    return !failed_;
}

}  // namespace kelo::cli
