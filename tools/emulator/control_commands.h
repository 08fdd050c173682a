/* SPDX-License-Identifier: Apache-2.0 */
// Commands that change a running emulator, one per line of a text stream
// (its standard input with --control): "fault MODE" switches the fault
// mode (the names of --fault). A program that drives emulators as
// processes, such as the soak, changes their behaviour through them.
#pragma once

#include <functional>
#include <istream>
#include <ostream>

#include "emulator/emulator.h"

namespace kelo::emu {

// Reads commands until the end of the stream: onFault gets each fault
// mode asked for; other lines are named on errors and passed over.
void readControlCommands(std::istream& in, const std::function<void(Fault)>& onFault,
                         std::ostream& errors);

}  // namespace kelo::emu
