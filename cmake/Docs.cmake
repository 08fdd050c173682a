# SPDX-License-Identifier: Apache-2.0
# Reference documentation in HTML: the C and C++ API from the public headers
# (Doxygen) and, off Windows, the Python package from its docstrings (Sphinx
# with autodoc), both with warnings as errors. Built with everything else
# when KELO_BUILD_DOCS is on (the default where Doxygen is found); installed
# as component doc.
find_program(KELO_DOXYGEN doxygen)
if(KELO_DOXYGEN)
  set(kelo_docs_default ON)
else()
  set(kelo_docs_default OFF)
endif()
option(KELO_BUILD_DOCS "Build the reference documentation (Doxygen, Sphinx)" ${kelo_docs_default})
if(NOT KELO_BUILD_DOCS)
  return()
endif()
if(NOT KELO_DOXYGEN)
  message(FATAL_ERROR "KELO_BUILD_DOCS needs doxygen")
endif()

set(KELO_DOCS_BUILD_DIR ${CMAKE_BINARY_DIR}/docs)
if(WIN32)
  set(KELO_DOC_INSTALL_DIR doc CACHE STRING "Where the HTML reference is installed")
else()
  set(KELO_DOC_INSTALL_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/libkelo-dll-doc/html
      CACHE STRING "Where the HTML reference is installed")
endif()

configure_file(docs/Doxyfile.in ${KELO_DOCS_BUILD_DIR}/Doxyfile @ONLY)
file(GLOB_RECURSE kelo_public_headers CONFIGURE_DEPENDS include/*.h include/*.hpp)
add_custom_command(OUTPUT ${KELO_DOCS_BUILD_DIR}/c/html/index.html
  COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR} -P ${PROJECT_SOURCE_DIR}/cmake/CheckHeaderDocs.cmake
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${KELO_DOCS_BUILD_DIR}/c
  COMMAND ${KELO_DOXYGEN} ${KELO_DOCS_BUILD_DIR}/Doxyfile
  DEPENDS ${kelo_public_headers} docs/reference.md ${KELO_DOCS_BUILD_DIR}/Doxyfile
          cmake/CheckHeaderDocs.cmake
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  COMMENT "C reference (Doxygen)" VERBATIM)
set(kelo_doc_outputs ${KELO_DOCS_BUILD_DIR}/c/html/index.html)
install(DIRECTORY ${KELO_DOCS_BUILD_DIR}/c/html/ DESTINATION ${KELO_DOC_INSTALL_DIR}/c COMPONENT doc)

if(NOT WIN32)
  # Debian's interpreter, which has numpy for the package's imports.
  execute_process(COMMAND ${KELO_PYTHON3} -c "import sphinx" RESULT_VARIABLE no_sphinx
                  OUTPUT_QUIET ERROR_QUIET)
  if(no_sphinx)
    message(FATAL_ERROR "KELO_BUILD_DOCS needs Sphinx for ${KELO_PYTHON3} (python3-sphinx)")
  endif()
  file(GLOB kelo_python_sources CONFIGURE_DEPENDS python/kelo/*.py python/docs/*)
  add_custom_command(OUTPUT ${KELO_DOCS_BUILD_DIR}/python/html/index.html
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${KELO_DOCS_BUILD_DIR}/python
    COMMAND ${CMAKE_COMMAND} -E env KELO_DOCS_VERSION=${PROJECT_VERSION}
            ${KELO_PYTHON3} -m sphinx -W --keep-going -n -q -b html
            -d ${KELO_DOCS_BUILD_DIR}/python/doctrees
            ${PROJECT_SOURCE_DIR}/python/docs ${KELO_DOCS_BUILD_DIR}/python/html
    DEPENDS ${kelo_python_sources}
    COMMENT "Python reference (Sphinx)" VERBATIM)
  list(APPEND kelo_doc_outputs ${KELO_DOCS_BUILD_DIR}/python/html/index.html)
  install(DIRECTORY ${KELO_DOCS_BUILD_DIR}/python/html/ DESTINATION ${KELO_DOC_INSTALL_DIR}/python
    COMPONENT doc PATTERN .buildinfo EXCLUDE)
endif()
add_custom_target(kelo_docs ALL DEPENDS ${kelo_doc_outputs})
