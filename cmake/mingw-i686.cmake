# SPDX-License-Identifier: Apache-2.0
# Cross build of the 32-bit Windows DLL with mingw-w64 (posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
# Doubles in SSE2 registers: a product is the IEEE double product whatever
# x87 precision the host program has set (64 bits in MinGW and Delphi
# programs, 24 under Direct3D 9). The stack is realigned at entry, as
# mingw-w64 does by default, for hosts that call with 4-byte alignment.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
# PE headers name Windows Vista (6.0), the first with GetTickCount64, which
# the DLL imports.
set(KELO_PE_MINIMUM_OS
  "-Wl,--major-os-version,6,--minor-os-version,0,--major-subsystem-version,6,--minor-subsystem-version,0")
set(CMAKE_EXE_LINKER_FLAGS_INIT ${KELO_PE_MINIMUM_OS})
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${KELO_PE_MINIMUM_OS})
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests run under Wine, in a prefix inside the build directory.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
