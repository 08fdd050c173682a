# SPDX-License-Identifier: Apache-2.0
# Rewrites the DLL's import library after the link. The linker's own import
# library names the plain exports without their __stdcall decoration, so a
# caller compiled against kelo_dll.h (which asks for lpCloseConnection@4)
# would not link, and it names the decorated export by that name, which no
# caller of the 64-bit DLL asks for. This one maps every caller-side symbol
# onto the name the DLL really exports.
#   cmake -DNM=... -DDLLTOOL=... -DDECORATED=ON|OFF -DDLL=... -DDEF=<module definition file>
#         -DIMPLIB=<import library> -DWORK_DEF=<scratch .def> -P ImportLibrary.cmake
# DECORATED: __stdcall symbols carry "@<bytes>" (32-bit Windows).
foreach(var NM DLLTOOL DECORATED DLL DEF IMPLIB WORK_DEF)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ImportLibrary: ${var} is not set")
  endif()
endforeach()

# The functions of the DLL's code: "_lpCloseConnection@4" on 32-bit
# Windows, "lpCloseConnection" on 64-bit.
execute_process(COMMAND ${NM} ${DLL} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "ImportLibrary: ${NM} failed on ${DLL}: ${err}")
endif()
if(DECORATED)
  string(REGEX MATCHALL "[Tt] _[A-Za-z0-9_]+@[0-9]+" functions "${symbols}")
else()
  string(REGEX MATCHALL "[Tt] [A-Za-z0-9_]+" functions "${symbols}")
  list(TRANSFORM functions REPLACE "^[Tt] " "")
endif()

file(STRINGS ${DEF} lines)
set(out "LIBRARY kelo_dll.dll\nEXPORTS\n")
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line MATCHES "^(LIBRARY|EXPORTS)" OR line STREQUAL "")
    continue()
  endif()
  if(line MATCHES "^([^ =]+) = ([^ ]+)$")
    # Decorated export: the caller's symbol is the internal one, the DLL's
    # name is kept exactly ('==' stops dlltool from stripping it).
    string(APPEND out "    ${CMAKE_MATCH_2} == ${CMAKE_MATCH_1}\n")
  else()
    set(match "")
    if(DECORATED)
      foreach(symbol IN LISTS functions)
        if(symbol MATCHES "^[Tt] _${line}@([0-9]+)$")
          set(match "${line}@${CMAKE_MATCH_1}")
          break()
        endif()
      endforeach()
    else()
      list(FIND functions "${line}" at)
      if(at GREATER -1)
        set(match "${line}")
      endif()
    endif()
    if(match STREQUAL "")
      message(FATAL_ERROR "ImportLibrary: no function for export ${line} in ${DLL}")
    endif()
    # --kill-at below strips the @N from the name the import refers to.
    string(APPEND out "    ${match}\n")
  endif()
endforeach()
file(WRITE ${WORK_DEF} "${out}")

execute_process(COMMAND ${DLLTOOL} --kill-at -d ${WORK_DEF} -l ${IMPLIB}
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "ImportLibrary: dlltool failed: ${err}")
endif()
