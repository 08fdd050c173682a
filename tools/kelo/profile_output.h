/* SPDX-License-Identifier: Apache-2.0 */
// Where grabbed profiles go: CSV text, one line per point, or a binary dump
// of the records exactly as the library filled them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "profile_view.h"

namespace kelo::cli {

enum class ProfileFormat { Csv, Binary };

class ProfileOutput {
public:
    ProfileOutput() = default;
    ~ProfileOutput();
    ProfileOutput(const ProfileOutput&) = delete;
    ProfileOutput& operator=(const ProfileOutput&) = delete;

    // "-" is standard output. False when the file cannot be created.
    bool open(const std::string& path, ProfileFormat format);
    // Appends profile number `index`; false on a write error.
    bool write(std::uint64_t index, const ProfileView& profile);
    // Hands what is buffered to the system; false on a write error.
    bool flush();
    // Flushes and closes; false when anything failed to reach the file.
    bool close();

private:
    std::FILE* file_ = nullptr;
    bool ownsFile_ = false;
    bool failed_ = false;
    ProfileFormat format_ = ProfileFormat::Csv;
};

}  // namespace kelo::cli
