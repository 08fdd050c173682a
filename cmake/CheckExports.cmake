# SPDX-License-Identifier: Apache-2.0
# Compares the export table of the DLL (objdump -p) with the expected names,
# exactly: no name missing, none extra, none twice.
#   cmake -DOBJDUMP=... -DDLL=... -DEXPECTED=<one name a line> -P CheckExports.cmake
include(${CMAKE_CURRENT_LIST_DIR}/CompareNameLists.cmake)
foreach(var OBJDUMP DLL EXPECTED)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckExports: ${var} is not set")
  endif()
endforeach()
if(NOT EXISTS "${DLL}")
  message(FATAL_ERROR "CheckExports: ${DLL} does not exist")
endif()

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc
                ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}: ${err}")
endif()

# The names stand in the "[Ordinal/Name Pointer] Table" block, one a line,
# "\t[   0] lpCloseConnection"; older binutils write
# "\t[   0] +base[   1] 0000 lpCloseConnection". The block ends at a blank line.
string(REPLACE ";" "\\;" dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")
set(actual "")
set(declared "")
set(in_names FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "^\t\\[Name Pointer/Ordinal\\] Table[ \t]+([0-9a-fA-F]+)")
    set(declared "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(in_names TRUE)
  elseif(in_names)
    if(line MATCHES "^[ \t]*$")
      set(in_names FALSE)
    elseif(line MATCHES "^[ \t]*\\[[ 0-9]+\\][ \t]+(\\+base\\[[ 0-9]+\\][ \t]+[0-9a-fA-F]+[ \t]+)?([^ \t]+)[ \t]*$")
      list(APPEND actual "${CMAKE_MATCH_2}")
    else()
      message(FATAL_ERROR "CheckExports: unexpected line in the name table: '${line}'")
    endif()
  endif()
endforeach()

if(declared STREQUAL "")
  message(FATAL_ERROR "CheckExports: ${DLL} has no export table")
endif()
math(EXPR declared_count "0x${declared}" OUTPUT_FORMAT DECIMAL)
list(LENGTH actual actual_count)
if(NOT actual_count EQUAL declared_count)
  message(FATAL_ERROR "CheckExports: read ${actual_count} names, the table declares ${declared_count}")
endif()

file(STRINGS ${EXPECTED} expected)
list(SORT actual)
list(SORT expected)

set(expected_unique ${expected})
list(REMOVE_DUPLICATES expected_unique)
list(LENGTH expected expected_count)
list(LENGTH expected_unique unique_count)
if(NOT expected_count EQUAL unique_count)
  message(FATAL_ERROR "CheckExports: a name is listed more than once in the *.exports files")
endif()

kelo_compare_name_lists("${actual}" "${expected}" "DLL exports")
message(STATUS "DLL exports ${actual_count} names, as expected")
