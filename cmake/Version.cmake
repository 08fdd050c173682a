# SPDX-License-Identifier: Apache-2.0
# The version is written once, in include/kelo_dll/version.h; the project,
# the packages and the DLL's version resource take it from there.
file(READ ${CMAKE_CURRENT_LIST_DIR}/../include/kelo_dll/version.h kelo_version_header)
foreach(part MAJOR MINOR)
  if(NOT kelo_version_header MATCHES "#define KELO_DLL_${part}_VERSION ([0-9]+)u")
    message(FATAL_ERROR "include/kelo_dll/version.h defines no KELO_DLL_${part}_VERSION")
  endif()
  set(kelo_version_${part} ${CMAKE_MATCH_1})
endforeach()
set(KELO_VERSION ${kelo_version_MAJOR}.${kelo_version_MINOR})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/../include/kelo_dll/version.h)
