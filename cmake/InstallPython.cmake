# SPDX-License-Identifier: Apache-2.0
# Install step of the Python package (see Install.cmake): its modules,
# _version.py, and _location.py with the path from the package to the
# library directory of the same prefix.
set(kelo_python_dir ${KELO_PYTHON_PACKAGE_DIR})
if(NOT kelo_python_dir)
  get_filename_component(kelo_prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
  if(kelo_prefix STREQUAL "/usr")
    set(kelo_python_dir ${KELO_PYTHON_SYSTEM_DIR})
  else()
    set(kelo_python_dir ${KELO_PYTHON_LOCAL_DIR})
  endif()
endif()
file(RELATIVE_PATH KELO_PYTHON_LIBRARY_DIR /prefix/${kelo_python_dir}/kelo /prefix/${KELO_LIBRARY_INSTALL_DIR})
configure_file(${KELO_SOURCE_DIR}/python/kelo_location.py.in ${KELO_BINARY_DIR}/python/_location.py @ONLY)
file(INSTALL ${KELO_SOURCE_DIR}/python/kelo DESTINATION ${CMAKE_INSTALL_PREFIX}/${kelo_python_dir}
  FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)
file(INSTALL ${KELO_BINARY_DIR}/python/_location.py ${KELO_BINARY_DIR}/python/_version.py
  DESTINATION ${CMAKE_INSTALL_PREFIX}/${kelo_python_dir}/kelo)
