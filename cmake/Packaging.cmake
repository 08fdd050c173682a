# SPDX-License-Identifier: Apache-2.0
# Packages made by CPack from the install components: on Linux one Debian
# package per component, on Windows the zip of cmake/PackagingWindows.cmake.
set(CPACK_PACKAGE_NAME kelo-dll)
set(CPACK_PACKAGE_VENDOR "kelo_dll")
set(CPACK_PACKAGE_CONTACT "kelo_dll maintainers <maintainers@kelo-dll.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/PackagingWindows.cmake OPTIONAL)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL runtime dev python)
  if(KELO_BUILD_TOOLS)
    list(APPEND CPACK_COMPONENTS_ALL tools)
  endif()
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_STRIP_FILES ON)
  # libc, libstdc++ and libgcc as the binaries need them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

  # Debian names: the runtime package carries the SONAME's number.
  set(kelo_runtime_package libkelo-dll${PROJECT_VERSION_MAJOR})
  set(kelo_exact "(= ${PROJECT_VERSION})")

  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${kelo_runtime_package})
  string(CONCAT CPACK_DEBIAN_RUNTIME_DESCRIPTION
      "Client library for network-attached laser profile scanners\n"
      "Finds scanners over UDP, drives them over TCP and reads profiles,\n"
      "scans and images.")
  # A shlibs file, so packages built against the library depend on it, and
  # the ldconfig trigger instead of maintainer scripts that call ldconfig.
  set(kelo_control ${CMAKE_BINARY_DIR}/debian/runtime)
  file(WRITE ${kelo_control}/shlibs
       "libkelo_dll ${PROJECT_VERSION_MAJOR} ${kelo_runtime_package} ${kelo_exact}\n")
  file(WRITE ${kelo_control}/triggers "activate-noawait ldconfig\n")
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${kelo_control}/shlibs ${kelo_control}/triggers)

  set(CPACK_DEBIAN_DEV_PACKAGE_NAME libkelo-dll-dev)
  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${kelo_runtime_package} ${kelo_exact}")
  string(CONCAT CPACK_DEBIAN_DEV_DESCRIPTION
      "kelo_dll headers, CMake package and pkg-config file\n"
      "Everything needed to build C and C++ programs against the kelo_dll library.")

  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kelo-tools)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${kelo_runtime_package} ${kelo_exact}")
  # dpkg-shlibdeps finds the library the tools link in the build tree and
  # leaves it out: the dependency on its package is the one above.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
  string(CONCAT CPACK_DEBIAN_TOOLS_DESCRIPTION
      "kelo command-line tool and scanner emulator\n"
      "kelo drives a scanner from the shell; kelo-scanner-emulator plays a scanner.")

  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-kelo)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3, python3-numpy, ${kelo_runtime_package} ${kelo_exact}")
  string(CONCAT CPACK_DEBIAN_PYTHON_DESCRIPTION
      "Python interface to the kelo_dll scanner library\n"
      "The kelo module: scanners, parameters, calibration and profile streams\n"
      "as numpy arrays.")

  if(KELO_BUILD_DOCS)
    list(APPEND CPACK_COMPONENTS_ALL doc)
    set(CPACK_DEBIAN_DOC_PACKAGE_NAME libkelo-dll-doc)
    set(CPACK_DEBIAN_DOC_PACKAGE_SECTION doc)
    set(CPACK_DEBIAN_DOC_PACKAGE_ARCHITECTURE all)
    set(CPACK_DEBIAN_DOC_PACKAGE_SHLIBDEPS OFF)
    string(CONCAT CPACK_DEBIAN_DOC_DESCRIPTION
        "Reference documentation of the kelo_dll scanner library\n"
        "HTML reference of the C API, from its headers, and of the Python\n"
        "package kelo, from its docstrings.")
  endif()

  # Every package's licence (machine-readable) and changelog, where Debian
  # looks for them.
  include(${CMAKE_CURRENT_LIST_DIR}/DebianChangelog.cmake)
  kelo_write_debian_changelog(kelo-dll "${CPACK_PACKAGE_CONTACT}" ${CMAKE_BINARY_DIR}/debian/changelog.gz)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
  foreach(component IN LISTS CPACK_COMPONENTS_ALL)
    string(TOUPPER ${component} upper)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.gz
      DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
      COMPONENT ${component})
  endforeach()

  if(CMAKE_CROSSCOMPILING)
    include(${CMAKE_CURRENT_LIST_DIR}/PackagingCross.cmake)
  endif()
endif()

include(CPack)
