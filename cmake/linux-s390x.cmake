# SPDX-License-Identifier: Apache-2.0
# Linux on IBM Z (s390x), a big-endian host: Debian's s390x-linux-gnu-g++.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(KELO_CROSS_TRIPLE s390x-linux-gnu)
set(KELO_CROSS_QEMU qemu-s390x-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
