# SPDX-License-Identifier: Apache-2.0
# Builds the DLL's module definition file and the plain list of export names
# from the per-subsystem *.exports files.
#
# A line of an *.exports file is one of:
#   lpCloseConnection
#       a plain export: the DLL exports the undecorated name, and the linker's
#       stdcall fix-up resolves it to the __stdcall symbol lpCloseConnection@4.
#   _lpBeginSendParametersToScanner@8 = lpBeginSendParametersToScanner@8
#       an export that keeps a decorated name: left of '=' the exact name in
#       the DLL's export table, right of it the function's own __stdcall
#       symbol, written as "<function name>@<bytes of arguments>" (4 per
#       pointer or 32-bit argument on the 32-bit DLL), without the leading
#       underscore the compiler adds. The 64-bit DLL keeps the same export
#       name; its function's symbol has no decoration, so "@<bytes>" is
#       dropped there.
#   # a comment (also after a name); empty lines are ignored.
#
# The import library for C and C++ callers is made from the same list after
# the link (cmake/ImportLibrary.cmake), so callers that include kelo_dll.h
# reach both kinds of export.
function(kelo_write_export_files lists def_file names_file decorated)
  set(def "LIBRARY kelo_dll.dll\nEXPORTS\n")
  set(names "")
  set(seen "")
  foreach(list_file IN LISTS lists)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_file})
    file(STRINGS ${list_file} lines)
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "#.*$" "" line "${line}")
      string(STRIP "${line}" line)
      if(line STREQUAL "")
        continue()
      endif()
      if(line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)$")
        set(name "${CMAKE_MATCH_1}")
        set(entry "${name}")
      elseif(line MATCHES "^([A-Za-z_][A-Za-z0-9_@]*)[ \t]*=[ \t]*([A-Za-z_][A-Za-z0-9_]*@[0-9]+)$")
        set(name "${CMAKE_MATCH_1}")
        set(symbol "${CMAKE_MATCH_2}")
        if(NOT decorated)
          string(REGEX REPLACE "@[0-9]+$" "" symbol "${symbol}")
        endif()
        set(entry "${name} = ${symbol}")
      else()
        message(FATAL_ERROR "${list_file}: cannot read export line '${line}'")
      endif()
      if(name IN_LIST seen)
        message(FATAL_ERROR "${list_file}: ${name} is exported by another *.exports file too")
      endif()
      list(APPEND seen "${name}")
      string(APPEND def "    ${entry}\n")
      string(APPEND names "${name}\n")
    endforeach()
  endforeach()
  kelo_write_if_changed(${def_file} "${def}")
  kelo_write_if_changed(${names_file} "${names}")
endfunction()

# Leaves an unchanged file alone, so a re-configure does not relink the DLL.
function(kelo_write_if_changed file content)
  if(EXISTS ${file})
    file(READ ${file} old)
    if(old STREQUAL content)
      return()
    endif()
  endif()
  file(WRITE ${file} "${content}")
endfunction()
