// SPDX-License-Identifier: Apache-2.0
#include "point_cloud_writer.h"

#include <cstring>
#include <vector>

namespace kelo::cli {
namespace {

constexpr std::size_t kPointBytes = 3 * 8 + 4;

void putLittleEndian(std::uint8_t* out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void putDouble(std::uint8_t* out, double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    putLittleEndian(out, bits, 8);
}

}  // namespace

PointCloudWriter::~PointCloudWriter() {
    if (body_ != nullptr) {
        std::fclose(body_);
        std::remove(bodyPath_.c_str());
    }
    if (file_ != nullptr) std::fclose(file_);
}

bool PointCloudWriter::open(const std::string& path, const AlongAxis& along) {
    along_ = along;
    file_ = std::fopen(path.c_str(), "wb");
    bodyPath_ = path + ".points";
    body_ = std::fopen(bodyPath_.c_str(), "w+b");
    return file_ != nullptr && body_ != nullptr;
}

bool PointCloudWriter::write(std::uint64_t index, const ProfileView& profile) {
    if (body_ == nullptr || failed_) return false;
    const double along = along_.headerWord < 0 ? static_cast<double>(index)
                                               : static_cast<double>(profile.header[along_.headerWord]);
    const double y = along * along_.step;
    std::uint8_t point[kPointBytes];
    for (std::int32_t i = 0; i < profile.pointCount; ++i) {
        const std::int32_t* p = profile.points[i];
        putDouble(point, p[kAcrossValue]);
        putDouble(point + 8, y);
        putDouble(point + 16, p[kHeightValue]);
        putLittleEndian(point + 24, static_cast<std::uint32_t>(p[kIntensityValue]), 4);
        if (std::fwrite(point, 1, sizeof point, body_) != sizeof point) {
            failed_ = true;
            return false;
        }
    }
    points_ += static_cast<std::uint64_t>(profile.pointCount);
    return true;
}

bool PointCloudWriter::close() {
    if (file_ == nullptr) return !failed_;
    if (!failed_) {
        failed_ = std::fprintf(file_,
                               "ply\n"
                               "format binary_little_endian 1.0\n"
                               "comment kelo grab: x across, y along the motion, z height, "
                               "intensity the third point value\n"
                               "element vertex %llu\n"
                               "property double x\n"
                               "property double y\n"
                               "property double z\n"
                               "property int intensity\n"
                               "end_header\n",
                               static_cast<unsigned long long>(points_)) < 0;
    }
    std::vector<char> buffer(1 << 16);
    if (!failed_ && std::fseek(body_, 0, SEEK_SET) != 0) failed_ = true;
    while (!failed_) {
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), body_);
        if (n > 0 && std::fwrite(buffer.data(), 1, n, file_) != n) failed_ = true;
        if (n < buffer.size()) {
            if (std::ferror(body_)) failed_ = true;
            break;
        }
    }
    if (std::fclose(file_) != 0) failed_ = true;
    std::fclose(body_);
    std::remove(bodyPath_.c_str());
    file_ = body_ = nullptr;
    return !failed_;
}

}  // namespace kelo::cli
