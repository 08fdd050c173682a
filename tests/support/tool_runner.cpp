// SPDX-License-Identifier: Apache-2.0
#include "support/tool_runner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kelo::test {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

bool locateTool(fs::path* tool) {
    const std::string self = ::testing::internal::GetArgvs().at(0);
    *tool = fs::absolute(fs::path(self)).parent_path() / "kelo";
    return self.size() < 4 || self.compare(self.size() - 4, 4, ".exe") != 0;
}

ToolRun runScript(const fs::path& tool, const fs::path& scratch, const std::string& script) {
    const fs::path file = scratch / "run.sh", out = scratch / "stdout.txt", err = scratch / "stderr.txt";
    std::ofstream(file) << script << "\n";
    // A cross build's tool runs under the emulator its tests run under
    // (KELO_TOOL_LAUNCHER), through a wrapper that "$KELO" names.
    fs::path program = tool;
    if (*KELO_TOOL_LAUNCHER != '\0') {
        program = scratch / "kelo-launched";
        std::ofstream(program) << "#!/bin/sh\nexec " KELO_TOOL_LAUNCHER " '" << tool.string() << "' \"$@\"\n";
        fs::permissions(program, fs::perms::owner_all, fs::perm_options::add);
    }
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(("KELO='" + program.string() + "' timeout 30 sh '" + file.string() + "' >'" +
                                    out.string() + "' 2>'" + err.string() + "'")
                                       .c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // A wait status: the exit code in the second byte, a signal in the low bits.
    return {(status & 0x7F) != 0 ? -1 : (status >> 8) & 0xFF, readFile(out), readFile(err), seconds};
}

}  // namespace kelo::test
