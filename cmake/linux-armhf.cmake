# SPDX-License-Identifier: Apache-2.0
# Linux on 32-bit ARM with hard float (armhf): Debian's arm-linux-gnueabihf-g++.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(KELO_CROSS_TRIPLE arm-linux-gnueabihf)
set(KELO_CROSS_QEMU qemu-arm-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
