# SPDX-License-Identifier: Apache-2.0
# Makes kelo_dll.lib, the import library in the format of the MSVC linker,
# from the caller-side module definition that ImportLibrary.cmake writes
# ("lpCloseConnection@4", "lpBeginSendParametersToScanner@8 ==
# _lpBeginSendParametersToScanner@8").
#   cmake -DDLLTOOL=llvm-dlltool -DLIBTOOL=llvm-lib -DMACHINE=x86|x64 -DDEF=... -DOUTPUT=...
#         -DWORK=<dir> -P MsvcImportLibrary.cmake
#
# x64 ("lpCloseConnection", "lpBeginSendParametersToScanner ==
# _lpBeginSendParametersToScanner@8"): symbols carry no decoration, every
# import is by the symbol's own name, and the caller's symbol of the
# decorated export is a weak alias of an import under the exported name,
# both of which llvm-dlltool writes.
#
# A plain export binds the caller's __stdcall symbol (_lpCloseConnection@4)
# to the undecorated name: llvm-dlltool -k writes it with the name type
# "undecorate". An export under its decorated name needs the name type
# "name" (the import name is the symbol itself), which llvm-dlltool 14
# cannot express; its short import member is written here byte by byte
# (IMPORT_OBJECT_HEADER, then symbol and DLL name) and added by llvm-lib.
foreach(var DLLTOOL LIBTOOL MACHINE DEF OUTPUT WORK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "MsvcImportLibrary: ${var} is not set")
  endif()
endforeach()

# Without the tests nothing else makes the library folder.
get_filename_component(output_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${output_dir})

if(MACHINE STREQUAL "x64")
  file(READ ${DEF} def)
  string(REGEX MATCHALL "[^ \t\n]+[ \t]*==[ \t]*[^ \t\n]+" aliases "${def}")
  foreach(alias IN LISTS aliases)
    string(REGEX REPLACE ".*==[ \t]*" "" exported "${alias}")
    string(APPEND def "    ${exported}\n")
  endforeach()
  file(MAKE_DIRECTORY ${WORK})
  file(WRITE ${WORK}/x64.def "${def}")
  execute_process(COMMAND ${DLLTOOL} -m i386:x86-64 -d ${WORK}/x64.def -l ${OUTPUT}
                  RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "MsvcImportLibrary: ${DLLTOOL} failed: ${err}")
  endif()
  return()
elseif(NOT MACHINE STREQUAL "x86")
  message(FATAL_ERROR "MsvcImportLibrary: MACHINE is x86 or x64, not ${MACHINE}")
endif()

file(STRINGS ${DEF} lines)
set(library "")
set(plain "")
set(exact "")
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line MATCHES "^LIBRARY[ \t]+([^ \t]+)")
    set(library "${CMAKE_MATCH_1}")
  elseif(line STREQUAL "EXPORTS" OR line STREQUAL "")
    continue()
  elseif(line MATCHES "^([A-Za-z_][A-Za-z0-9_]*@[0-9]+)[ \t]*==[ \t]*([^ \t]+)$")
    # The member's symbol is the caller's, so the exported name must be it.
    if(NOT "_${CMAKE_MATCH_1}" STREQUAL "${CMAKE_MATCH_2}")
      message(FATAL_ERROR "MsvcImportLibrary: ${CMAKE_MATCH_2} is not the MSVC name of ${CMAKE_MATCH_1}")
    endif()
    list(APPEND exact "${CMAKE_MATCH_2}")
  elseif(line MATCHES "^[A-Za-z_][A-Za-z0-9_]*@[0-9]+$")
    string(APPEND plain "    ${line}\n")
  else()
    message(FATAL_ERROR "MsvcImportLibrary: cannot read '${line}' in ${DEF}")
  endif()
endforeach()
if(library STREQUAL "")
  message(FATAL_ERROR "MsvcImportLibrary: ${DEF} names no LIBRARY")
endif()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/plain.def "LIBRARY ${library}\nEXPORTS\n${plain}")
execute_process(COMMAND ${DLLTOOL} -m i386 -k -d ${WORK}/plain.def -l ${WORK}/plain.lib
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "MsvcImportLibrary: ${DLLTOOL} failed: ${err}")
endif()

# IMPORT_OBJECT_HEADER, little-endian: Sig1 0, Sig2 0xFFFF, Version 0,
# Machine 0x14C (i386), TimeDateStamp 0, SizeOfData, Hint 0, then Type 0
# (code) with NameType 1 (IMPORT_OBJECT_NAME) in bits 2 to 4.
function(hex_byte value out)
  math(EXPR byte "${value} & 255" OUTPUT_FORMAT HEXADECIMAL)
  string(REGEX REPLACE "^0x" "" byte "${byte}")
  string(LENGTH "${byte}" length)
  if(length EQUAL 1)
    set(byte "0${byte}")
  endif()
  set(${out} "\\x${byte}" PARENT_SCOPE)
endfunction()

# Each member is added from its own directory, so that it is named after
# the DLL like every other member.
set(current ${WORK}/plain.lib)
set(index 0)
foreach(name IN LISTS exact)
  string(LENGTH "${name}" name_length)
  string(LENGTH "${library}" library_length)
  math(EXPR size "${name_length} + 1 + ${library_length} + 1")
  set(size_bytes "")
  foreach(shift 0 8 16 24)
    math(EXPR part "${size} >> ${shift}")
    hex_byte(${part} byte)
    string(APPEND size_bytes "${byte}")
  endforeach()
  set(format "\\x00\\x00\\xff\\xff\\x00\\x00\\x4c\\x01\\x00\\x00\\x00\\x00${size_bytes}")
  string(APPEND format "\\x00\\x00\\x04\\x00%s\\x00%s\\x00")
  set(directory ${WORK}/exact${index})
  file(MAKE_DIRECTORY ${directory})
  execute_process(COMMAND printf "${format}" "${name}" "${library}"
                  OUTPUT_FILE ${directory}/${library} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "MsvcImportLibrary: could not write the import member of ${name}")
  endif()
  execute_process(COMMAND ${LIBTOOL} /machine:x86 /out:${directory}/merged.lib ${current} ${library}
                  WORKING_DIRECTORY ${directory}
                  RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "MsvcImportLibrary: ${LIBTOOL} failed: ${err}")
  endif()
  set(current ${directory}/merged.lib)
  math(EXPR index "${index} + 1")
endforeach()
file(COPY_FILE ${current} ${OUTPUT})
