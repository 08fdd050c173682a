# SPDX-License-Identifier: Apache-2.0
# Debian packages of a Linux cross build (included by Packaging.cmake): the
# target's architecture, and the dependencies on its C and C++ runtimes.
#
# dpkg-shlibdeps finds those runtimes in the cross toolchain's tree
# (/usr/TRIPLE/lib, packages such as libc6-arm64-cross). Their shlibs files
# name the target's own packages (libc6:arm64), but some of their symbols
# files name the cross packages themselves (libgcc-s1-armhf-cross), which no
# target system has. So the shlibs alone are handed to dpkg-shlibdeps as its
# local overrides, without the architecture qualifier, which a package of
# that architecture does not need.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpmachine
  OUTPUT_VARIABLE kelo_triple OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND dpkg-architecture -t ${kelo_triple} -qDEB_HOST_ARCH
  OUTPUT_VARIABLE kelo_deb_arch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libc.so.6
  OUTPUT_VARIABLE kelo_libc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(kelo_runtime_dir "${kelo_libc}" DIRECTORY)
get_filename_component(kelo_runtime_dir "${kelo_runtime_dir}" ABSOLUTE)
# "libc6-arm64-cross, libstdc++6-arm64-cross, ...: /usr/aarch64-linux-gnu/lib"
execute_process(COMMAND dpkg-query -S ${kelo_runtime_dir}
  OUTPUT_VARIABLE kelo_owners OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT kelo_deb_arch OR NOT kelo_owners MATCHES ": ${kelo_runtime_dir}$")
  message(STATUS "Debian packages left without dependencies on the C and C++ runtimes: "
                 "no Debian cross runtime found for ${kelo_triple}")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  return()
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${kelo_deb_arch})
list(APPEND CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${kelo_runtime_dir})

string(REGEX REPLACE ": [^\n]*$" "" kelo_owners "${kelo_owners}")
string(REPLACE ", " ";" kelo_owners "${kelo_owners}")
set(kelo_shlibs "")
foreach(package IN LISTS kelo_owners)
  execute_process(COMMAND dpkg-query --control-show ${package} shlibs
    OUTPUT_VARIABLE shlibs RESULT_VARIABLE missing ERROR_QUIET)
  if(NOT missing)
    string(APPEND kelo_shlibs "${shlibs}")
  endif()
endforeach()
string(REPLACE ":${kelo_deb_arch}" "" kelo_shlibs "${kelo_shlibs}")
set(kelo_shlibs_file ${CMAKE_BINARY_DIR}/packaging/runtime.shlibs)
file(WRITE ${kelo_shlibs_file} "${kelo_shlibs}")

# CPack runs dpkg-shlibdeps as SHLIBDEPS_EXECUTABLE; this one reads the
# overrides first.
set(kelo_shlibdeps ${CMAKE_BINARY_DIR}/packaging/dpkg-shlibdeps)
file(WRITE ${kelo_shlibdeps} "#!/bin/sh\nexec dpkg-shlibdeps -L'${kelo_shlibs_file}' \"$@\"\n")
file(CHMOD ${kelo_shlibdeps} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
  GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/packaging/CPackCross.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
  "set(SHLIBDEPS_EXECUTABLE [[${kelo_shlibdeps}]] CACHE FILEPATH \"\" FORCE)\n")
