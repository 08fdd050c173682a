/* SPDX-License-Identifier: Apache-2.0 */
// Profiles as a 16-bit greyscale height map (binary PGM, maximum 65535):
// one row per profile, one column per point index. 0 marks a column the
// profile has no point for; 1 to 65535 spread the lowest to the highest
// height of the whole run evenly, so the rows gather in FILE.rows beside it
// until the range is known on close.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "profile_view.h"

namespace kelo::cli {

class HeightMapWriter {
public:
    HeightMapWriter() = default;
    ~HeightMapWriter();
    HeightMapWriter(const HeightMapWriter&) = delete;
    HeightMapWriter& operator=(const HeightMapWriter&) = delete;

    bool open(const std::string& path);
    bool write(const ProfileView& profile);
    bool close();

    std::uint32_t width() const { return width_; }
    std::uint64_t rows() const { return rows_; }
    // The heights that 1 and 65535 stand for (equal when all are).
    std::int32_t lowest() const { return lowest_; }
    std::int32_t highest() const { return highest_; }

private:
    std::FILE* file_ = nullptr;
    std::FILE* rowsFile_ = nullptr;
    std::string rowsPath_;
    std::uint32_t width_ = 0;
    std::uint64_t rows_ = 0;
    std::int32_t lowest_ = 0;
    std::int32_t highest_ = 0;
    bool anyPoint_ = false;
    bool failed_ = false;
};

}  // namespace kelo::cli
