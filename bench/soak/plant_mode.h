/* SPDX-License-Identifier: Apache-2.0 */
// soak --plant: the emulators and their faults alone, for a collector in
// another process. Standard output, one line each (times on the monotonic
// clock, in seconds):
//   emulator INDEX ADDRESS PORT SERIAL
//   ready T0
//   fault T INDEX NTH KIND      a fault begins (NTH: its number for this scanner)
//   normal T INDEX NTH KIND     it ends
//   calm T                      no faults until "resume" comes on standard input
//   end T                       the schedule is over; every emulator normal
// The end of standard input ends the emulators and the program.
#pragma once

#include "plant.h"
#include "soak_options.h"

namespace soak {

PlantSettings plantSettings(const Options& options);
int runPlant(const Options& options);

}  // namespace soak
