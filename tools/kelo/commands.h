/* SPDX-License-Identifier: Apache-2.0 */
// The kelo subcommands. Each gets the words after its name and returns the
// process exit code (session.h).
#pragma once

namespace kelo::cli {

int runDiscover(int argc, char** argv);
int runStatus(int argc, char** argv);
int runParams(int argc, char** argv);
int runCalib(int argc, char** argv);
int runGrab(int argc, char** argv);
int runImage(int argc, char** argv);
int runFirmware(int argc, char** argv);
int runView(int argc, char** argv);

}  // namespace kelo::cli
