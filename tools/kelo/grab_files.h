/* SPDX-License-Identifier: Apache-2.0 */
// Every file kelo grab writes for one scanner: profiles (CSV or binary),
// point cloud, height map and the plot of the last profile. With several
// scanners each gets its own, named FILE-1.EXT, FILE-2.EXT, ... in the
// order the command line names the scanners.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "grab_options.h"
#include "height_map_writer.h"

namespace kelo::cli {

// `path` for scanner `index` (from 0) of `scanners`.
std::string pathForScanner(const std::string& path, std::size_t index, std::size_t scanners);

class GrabFiles {
public:
    GrabFiles(const GrabOptions& options, std::size_t index, std::size_t scanners);

    // Empty, or the file that cannot be created.
    std::string open();
    // Empty, or the file that could not be written.
    std::string write(const ProfileView& profile);
    // Hands the profiles written so far to the system; empty or the file.
    std::string flush();
    // Finishes every file and draws the plot; what failed, or empty.
    std::string close(const std::string& scannerName);
    // The summary lines for the terminal ("interrupted" added when it was).
    void printSummary(const std::string& scannerName, double seconds, const char* mode) const;

    std::uint64_t written() const { return written_; }

private:
    const GrabOptions& options_;
    std::string output_, ply_, heightMapPath_, plot_;
    ProfileOutput profiles_;
    PointCloudWriter cloud_;
    HeightMapWriter heightMap_;
    std::uint64_t written_ = 0;
    // The last profile, for the plot.
    std::array<std::int32_t, KELO_PROFILE_HEADER_VALUES> lastHeader_{};
    std::vector<std::array<std::int32_t, 3>> lastPoints_;
};

}  // namespace kelo::cli
