/* SPDX-License-Identifier: Apache-2.0 */
// Running the kelo tool from a test: the program beside the test program,
// run through the shell, bounded in time.
#pragma once

#include <filesystem>
#include <string>

namespace kelo::test {

struct ToolRun {
    int exitCode;  // -1 when a signal ended it
    std::string out, err;
    double seconds;
};

std::string readFile(const std::filesystem::path& path);

// The tool beside the test program. False in the Windows build, whose
// tests run under Wine, where the tool is not started from here.
bool locateTool(std::filesystem::path* tool);

// Runs a shell script in `scratch` in which "$KELO" is the tool.
ToolRun runScript(const std::filesystem::path& tool, const std::filesystem::path& scratch,
                  const std::string& script);
inline ToolRun runTool(const std::filesystem::path& tool, const std::filesystem::path& scratch,
                       const std::string& arguments) {
    return runScript(tool, scratch, "\"$KELO\" " + arguments);
}

}  // namespace kelo::test
