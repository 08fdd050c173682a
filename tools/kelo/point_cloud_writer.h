/* SPDX-License-Identifier: Apache-2.0 */
// Profiles as a point cloud in binary little-endian PLY: per point x (across),
// y (along the motion), z (height) as doubles and the third point value as a
// 32-bit intensity. The vertex count leads the file, so the points gather in
// FILE.points beside it until the PLY is written whole on close.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "profile_view.h"

namespace kelo::cli {

struct AlongAxis {
    double step = 1.0;       // y = step * (profile index, or the header word)
    int headerWord = -1;     // 0 to 8: y from this header value (signed); -1: the index
};

class PointCloudWriter {
public:
    PointCloudWriter() = default;
    ~PointCloudWriter();
    PointCloudWriter(const PointCloudWriter&) = delete;
    PointCloudWriter& operator=(const PointCloudWriter&) = delete;

    // False when the file or the temporary store cannot be created.
    bool open(const std::string& path, const AlongAxis& along);
    bool write(std::uint64_t index, const ProfileView& profile);
    // Writes the PLY; false when anything failed to reach the file.
    bool close();
    std::uint64_t points() const { return points_; }

private:
    std::FILE* file_ = nullptr;
    std::FILE* body_ = nullptr;
    std::string bodyPath_;
    AlongAxis along_;
    std::uint64_t points_ = 0;
    bool failed_ = false;
};

}  // namespace kelo::cli
