# cmake --install: the shared library, its headers, a CMake package and a
# pkg-config file, the tools and the Python package, in the GNUInstallDirs
# places. Components: runtime, dev, tools, python (one Debian package each).
include(CMakePackageConfigHelpers)

set(KELO_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kelo_dll)
set(KELO_PYTHON_INSTALL_DIR lib/python3/dist-packages CACHE STRING
    "Where the Python package kelo is installed, relative to the prefix")

# Windows: the DLL in bin, its import library in lib.
install(TARGETS kelo_dll EXPORT kelo_dllTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(DIRECTORY include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)

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

# The Python package, told where the library of its own prefix lies.
if(WIN32)
  set(KELO_LIBRARY_INSTALL_DIR ${CMAKE_INSTALL_BINDIR})
else()
  set(KELO_LIBRARY_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR})
endif()
file(RELATIVE_PATH KELO_PYTHON_LIBRARY_DIR /prefix/${KELO_PYTHON_INSTALL_DIR}/kelo
     /prefix/${KELO_LIBRARY_INSTALL_DIR})
configure_file(python/kelo_location.py.in ${CMAKE_BINARY_DIR}/python/_location.py @ONLY)
install(DIRECTORY python/kelo DESTINATION ${KELO_PYTHON_INSTALL_DIR} COMPONENT python
  FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)
install(FILES ${CMAKE_BINARY_DIR}/python/_location.py
  DESTINATION ${KELO_PYTHON_INSTALL_DIR}/kelo COMPONENT python)
