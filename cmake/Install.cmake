# SPDX-License-Identifier: Apache-2.0
# cmake --install: the shared library, its headers, a CMake package and a
# pkg-config file, the tools and the Python package, in the GNUInstallDirs
# places. Components: runtime, dev, tools, python (one Debian package each).
include(CMakePackageConfigHelpers)

set(KELO_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kelo_dll)
set(KELO_PYTHON_PACKAGE_DIR "" CACHE STRING
    "Where the Python package kelo is installed, relative to the prefix (empty: as Debian's python3 looks)")

# Windows: the DLL in bin, its import library in lib.
install(TARGETS kelo_dll EXPORT kelo_dllTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(DIRECTORY include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
# The Windows SDK carries the licence at its top (Debian packages carry
# theirs as copyright files, cmake/Packaging.cmake).
if(WIN32)
  install(FILES LICENSE DESTINATION . COMPONENT runtime)
endif()

install(EXPORT kelo_dllTargets NAMESPACE kelo_dll:: DESTINATION ${KELO_CMAKE_INSTALL_DIR}
  COMPONENT dev)
configure_package_config_file(cmake/kelo_dllConfig.cmake.in
  ${CMAKE_BINARY_DIR}/kelo_dllConfig.cmake INSTALL_DESTINATION ${KELO_CMAKE_INSTALL_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/kelo_dllConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/kelo_dllConfig.cmake ${CMAKE_BINARY_DIR}/kelo_dllConfigVersion.cmake
  DESTINATION ${KELO_CMAKE_INSTALL_DIR} COMPONENT dev)

# pkg-config: the prefix is the one of the install itself (a package build
# installs to /usr whatever the build was configured with); on Windows the
# folder the zip was unpacked into.
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(KELO_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(KELO_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
set(KELO_PC_FILE ${CMAKE_BINARY_DIR}/kelo_dll.pc)
# The Windows zips unpack anywhere: their prefix is found from the file's own
# folder (lib/pkgconfig, two levels below it).
file(RELATIVE_PATH KELO_PC_UP /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" KELO_PC_UP "${KELO_PC_UP}")
install(CODE "
  set(PROJECT_VERSION [[${PROJECT_VERSION}]])
  set(KELO_PC_LIBDIR [[${KELO_PC_LIBDIR}]])
  set(KELO_PC_INCLUDEDIR [[${KELO_PC_INCLUDEDIR}]])
  get_filename_component(KELO_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\" ABSOLUTE)
  if([[${WIN32}]])
    set(KELO_PC_PREFIX [[\${pcfiledir}/${KELO_PC_UP}]])
  endif()
  configure_file([[${CMAKE_CURRENT_LIST_DIR}/kelo_dll.pc.in]] [[${KELO_PC_FILE}]] @ONLY)
" COMPONENT dev)
install(FILES ${KELO_PC_FILE} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

if(KELO_BUILD_TOOLS)
  install(TARGETS kelo kelo-scanner-emulator RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    COMPONENT tools)
  # kelo finds the library of its own prefix unless that is a system directory.
  list(FIND CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES "${CMAKE_INSTALL_FULL_LIBDIR}" implicit)
  if(NOT WIN32 AND implicit EQUAL -1)
    file(RELATIVE_PATH rpath ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
    set_target_properties(kelo PROPERTIES INSTALL_RPATH "$ORIGIN/${rpath}")
  endif()
endif()

# The Python package, told where the library of its own prefix lies and
# which version it belongs to. Its directory is chosen when installing, since
# a package build installs to /usr whatever the build was configured with:
# below /usr the place of Debian's packaged modules, below any other prefix
# the interpreter's place for local installs (/usr/local/lib/python3.X/
# dist-packages), both as the interpreter itself names them.
if(WIN32)
  set(KELO_LIBRARY_INSTALL_DIR ${CMAKE_INSTALL_BINDIR})
else()
  set(KELO_LIBRARY_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR})
endif()
set(KELO_PYTHON3 /usr/bin/python3 CACHE FILEPATH "The interpreter whose module directories the install uses")
set(kelo_python_places "lib/python3/dist-packages;lib/python3/dist-packages")
if(EXISTS ${KELO_PYTHON3})
  execute_process(COMMAND ${KELO_PYTHON3} -c [[
import sysconfig
def below_prefix(path):
    return path[path.rindex("/lib/") + 1:]
system = "deb_system" if "deb_system" in sysconfig.get_scheme_names() else None
print(below_prefix(sysconfig.get_path("purelib", system)) + ";" + below_prefix(sysconfig.get_path("purelib")))
]] OUTPUT_VARIABLE kelo_python_places OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endif()
list(GET kelo_python_places 0 KELO_PYTHON_SYSTEM_DIR)
list(GET kelo_python_places 1 KELO_PYTHON_LOCAL_DIR)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/python/_version.py CONTENT "VERSION = \"${PROJECT_VERSION}\"\n")
install(CODE "
  set(KELO_PYTHON_PACKAGE_DIR [[${KELO_PYTHON_PACKAGE_DIR}]])
  set(KELO_PYTHON_SYSTEM_DIR [[${KELO_PYTHON_SYSTEM_DIR}]])
  set(KELO_PYTHON_LOCAL_DIR [[${KELO_PYTHON_LOCAL_DIR}]])
  set(KELO_LIBRARY_INSTALL_DIR [[${KELO_LIBRARY_INSTALL_DIR}]])
  set(KELO_SOURCE_DIR [[${PROJECT_SOURCE_DIR}]])
  set(KELO_BINARY_DIR [[${CMAKE_BINARY_DIR}]])
" COMPONENT python)
install(SCRIPT cmake/InstallPython.cmake COMPONENT python)
