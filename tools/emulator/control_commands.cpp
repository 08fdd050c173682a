// SPDX-License-Identifier: Apache-2.0
#include "emulator/control_commands.h"

#include <sstream>
#include <string>

namespace kelo::emu {

void readControlCommands(std::istream& in, const std::function<void(Fault)>& onFault,
                         std::ostream& errors) {
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string command, mode, rest;
        words >> command >> mode;
        Fault fault = Fault::None;
        if (command == "fault" && !(words >> rest) && parseFault(mode, &fault)) {
            onFault(fault);
        } else if (!command.empty()) {
            errors << "kelo-scanner-emulator: unknown control command: " << line << std::endl;
        }
    }
}

}  // namespace kelo::emu
