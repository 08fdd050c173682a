# SPDX-License-Identifier: Apache-2.0
# The Windows SDK as it ships: a version resource in kelo_dll.dll, the
# import library for the MSVC linker, and kelo_dll-3865.0-win32.zip or
# -win64.zip (cpack in the build directory) with the DLL and the tools
# stripped, the import libraries for MSVC and MinGW, the headers, the .NET
# declarations and a README. Included by Packaging.cmake for Windows builds.

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(KELO_WINDOWS_MACHINE x64)
  set(KELO_WINDOWS_PACKAGE win64)
else()
  set(KELO_WINDOWS_MACHINE x86)
  set(KELO_WINDOWS_PACKAGE win32)
endif()

# VERSIONINFO: file and product version, names and description.
enable_language(RC)
configure_file(${PROJECT_SOURCE_DIR}/src/core/win32/version.rc.in
  ${CMAKE_BINARY_DIR}/kelo_dll_version.rc @ONLY)
target_sources(kelo_dll PRIVATE ${CMAKE_BINARY_DIR}/kelo_dll_version.rc)

# kelo_dll.lib from the callers' module definition that ImportLibrary.cmake
# writes after the link (the custom commands run in this order).
find_program(KELO_LLVM_DLLTOOL NAMES llvm-dlltool-14 llvm-dlltool)
find_program(KELO_LLVM_LIB NAMES llvm-lib-14 llvm-lib)
set(KELO_MSVC_IMPORT_LIBRARY ${CMAKE_BINARY_DIR}/lib/kelo_dll.lib)
if(KELO_LLVM_DLLTOOL AND KELO_LLVM_LIB)
  add_custom_command(TARGET kelo_dll POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DDLLTOOL=${KELO_LLVM_DLLTOOL} -DLIBTOOL=${KELO_LLVM_LIB}
            -DMACHINE=${KELO_WINDOWS_MACHINE}
            -DDEF=${CMAKE_BINARY_DIR}/kelo_dll_import.def -DOUTPUT=${KELO_MSVC_IMPORT_LIBRARY}
            -DWORK=${CMAKE_BINARY_DIR}/msvc_import_library
            -P ${PROJECT_SOURCE_DIR}/cmake/MsvcImportLibrary.cmake
    VERBATIM)
  install(FILES ${KELO_MSVC_IMPORT_LIBRARY} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT sdk)
else()
  message(WARNING "llvm-dlltool or llvm-lib not found: no kelo_dll.lib for the MSVC linker")
endif()

install(FILES ${PROJECT_SOURCE_DIR}/bindings/KeloDll.cs DESTINATION bindings COMPONENT sdk)
math(EXPR KELO_WINDOWS_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/README-windows.txt.in
  ${CMAKE_BINARY_DIR}/README-windows.txt @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/README-windows.txt DESTINATION . COMPONENT sdk)

# One zip of everything but the Python package. It packs what was built:
# the tests, which run only under Wine, need not be built for it
# (KELO_BUILD_TESTS=OFF leaves them out).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${KELO_WINDOWS_PACKAGE})
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
# Unpacked into a folder of its own name.
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENTS_ALL runtime dev tools sdk)
if(KELO_BUILD_DOCS)
  list(APPEND CPACK_COMPONENTS_ALL doc)
endif()
set(CPACK_STRIP_FILES ON)
