# SPDX-License-Identifier: Apache-2.0
# Cross build of the 64-bit Windows DLL with mingw-w64 (posix thread model),
# for 64-bit hosts (.NET x64 and AnyCPU, MATLAB, LabVIEW 64-bit, Python).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# PE headers name Windows Vista (6.0), the first with GetTickCount64, which
# the DLL imports.
set(KELO_PE_MINIMUM_OS
  "-Wl,--major-os-version,6,--minor-os-version,0,--major-subsystem-version,6,--minor-subsystem-version,0")
set(CMAKE_EXE_LINKER_FLAGS_INIT ${KELO_PE_MINIMUM_OS})
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${KELO_PE_MINIMUM_OS})
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests run under wine64, in a prefix inside the build directory.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
