// SPDX-License-Identifier: Apache-2.0
#include "height_map_writer.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kelo::cli {
namespace {

constexpr std::uint32_t kMaxLevel = 65535;  // 0 is kept for "no point"

}  // namespace

HeightMapWriter::~HeightMapWriter() {
    if (rowsFile_ != nullptr) {
        std::fclose(rowsFile_);
        std::remove(rowsPath_.c_str());
    }
    if (file_ != nullptr) std::fclose(file_);
}

bool HeightMapWriter::open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "wb");
    rowsPath_ = path + ".rows";
    rowsFile_ = std::fopen(rowsPath_.c_str(), "w+b");
    return file_ != nullptr && rowsFile_ != nullptr;
}

bool HeightMapWriter::write(const ProfileView& profile) {
    if (rowsFile_ == nullptr || failed_) return false;
    const std::int32_t count = profile.pointCount;
    std::vector<std::int32_t> heights(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t z = profile.points[i][kHeightValue];
        heights[static_cast<std::size_t>(i)] = z;
        if (!anyPoint_) lowest_ = highest_ = z;
        anyPoint_ = true;
        if (z < lowest_) lowest_ = z;
        if (z > highest_) highest_ = z;
    }
    if (std::fwrite(&count, sizeof count, 1, rowsFile_) != 1 ||
        (count > 0 && std::fwrite(heights.data(), sizeof(std::int32_t), heights.size(), rowsFile_) !=
                          heights.size())) {
        failed_ = true;
        return false;
    }
    if (static_cast<std::uint32_t>(count) > width_) width_ = static_cast<std::uint32_t>(count);
    ++rows_;
    return true;
}

bool HeightMapWriter::close() {
    if (file_ == nullptr) return !failed_;
    if (!failed_) {
        failed_ = std::fprintf(file_,
                               "P5\n"
                               "# kelo grab height map: a row per profile, a column per point;\n"
                               "# 0 no point, 1 to %u heights %d to %d\n"
                               "%u %llu\n%u\n",
                               kMaxLevel, lowest_, highest_, width_,
                               static_cast<unsigned long long>(rows_), kMaxLevel) < 0;
    }
    if (!failed_ && std::fseek(rowsFile_, 0, SEEK_SET) != 0) failed_ = true;
    const double span = static_cast<double>(highest_) - lowest_;
    std::vector<std::int32_t> heights;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width_) * 2);
    for (std::uint64_t r = 0; r < rows_ && !failed_; ++r) {
        std::int32_t count = 0;
        if (std::fread(&count, sizeof count, 1, rowsFile_) != 1) {
            failed_ = true;
            break;
        }
        heights.resize(static_cast<std::size_t>(count));
        if (count > 0 &&
            std::fread(heights.data(), sizeof(std::int32_t), heights.size(), rowsFile_) != heights.size()) {
            failed_ = true;
            break;
        }
        std::fill(row.begin(), row.end(), 0);
        for (std::size_t i = 0; i < heights.size(); ++i) {
            const double fraction = span > 0 ? (heights[i] - static_cast<double>(lowest_)) / span : 0.0;
            const auto level = static_cast<std::uint32_t>(1 + std::lround(fraction * (kMaxLevel - 1)));
            row[2 * i] = static_cast<std::uint8_t>(level >> 8);  // most significant byte first
            row[2 * i + 1] = static_cast<std::uint8_t>(level);
        }
        if (!row.empty() && std::fwrite(row.data(), 1, row.size(), file_) != row.size()) failed_ = true;
    }
    if (std::fclose(file_) != 0) failed_ = true;
    std::fclose(rowsFile_);
    std::remove(rowsPath_.c_str());
    file_ = rowsFile_ = nullptr;
    return !failed_;
}

}  // namespace kelo::cli
