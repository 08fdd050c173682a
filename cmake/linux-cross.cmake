# SPDX-License-Identifier: Apache-2.0
# Linux on another processor with Debian's cross compilers, tests run under
# qemu user-mode emulation. Included by linux-<arch>.cmake, which sets
# CMAKE_SYSTEM_PROCESSOR, KELO_CROSS_TRIPLE and KELO_CROSS_QEMU first.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${KELO_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${KELO_CROSS_TRIPLE}-g++)

# Only the target's own tree: the host's libpcap, cpp-httplib and their
# pkg-config files do not fit the target, so the tool features that need
# them are left out unless the target tree has them.
set(KELO_CROSS_ROOT /usr/${KELO_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH ${KELO_CROSS_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} ${KELO_CROSS_ROOT}/lib/pkgconfig:${KELO_CROSS_ROOT}/share/pkgconfig)

# Test programs, and the programs the tests start, run under qemu with the
# target's loader and libraries.
set(CMAKE_CROSSCOMPILING_EMULATOR ${KELO_CROSS_QEMU} -L ${KELO_CROSS_ROOT})
