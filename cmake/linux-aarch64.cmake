# SPDX-License-Identifier: Apache-2.0
# Linux on 64-bit ARM (arm64): Debian's aarch64-linux-gnu-g++.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(KELO_CROSS_TRIPLE aarch64-linux-gnu)
set(KELO_CROSS_QEMU qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
