# SPDX-License-Identifier: Apache-2.0
# Compares the defined dynamic symbols of the ELF shared library
# (nm -D --defined-only) with the export list, exactly.
#   cmake -DNM=... -DLIBRARY=... -DEXPECTED=<one name a line> -P CheckElfExports.cmake
include(${CMAKE_CURRENT_LIST_DIR}/CompareNameLists.cmake)
foreach(var NM LIBRARY EXPECTED)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckElfExports: ${var} is not set")
  endif()
endforeach()
if(NOT EXISTS "${LIBRARY}")
  message(FATAL_ERROR "CheckElfExports: ${LIBRARY} does not exist")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/ElfExports.cmake)

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE dump RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}: ${err}")
endif()

# "0000000000012340 T lpCloseConnection"; versioned names keep their suffix,
# so a version node would show up as a difference too.
string(REPLACE ";" "\\;" dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")
set(actual "")
foreach(line IN LISTS lines)
  if(line STREQUAL "")
    continue()
  endif()
  if(NOT line MATCHES "^[0-9a-fA-F]* *[A-Za-z] (.+)$")
    message(FATAL_ERROR "CheckElfExports: cannot read nm line '${line}'")
  endif()
  list(APPEND actual "${CMAKE_MATCH_1}")
endforeach()

kelo_elf_export_names(${EXPECTED} expected)
list(SORT actual)
list(SORT expected)
kelo_compare_name_lists("${actual}" "${expected}" "Shared library symbols")
list(LENGTH actual count)
message(STATUS "Shared library exports ${count} names, as expected")
