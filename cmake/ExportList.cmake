# Builds the DLL's module definition file and the plain list of export names
# from the per-subsystem *.exports files. A line of such a file is either a
# plain export name (resolved to the __stdcall symbol by stdcall fix-up) or
# "ExportName = InternalSymbol" for an export that keeps a decorated name.
# Lines starting with '#' are comments.
function(kelo_write_export_files lists def_file names_file)
  set(def "LIBRARY kelo_dll.dll\nEXPORTS\n")
  set(names "")
  foreach(list_file IN LISTS lists)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_file})
    file(STRINGS ${list_file} lines)
    foreach(line IN LISTS lines)
      string(STRIP "${line}" line)
      if(line STREQUAL "" OR line MATCHES "^#")
        continue()
      endif()
      string(APPEND def "    ${line}\n")
      string(REGEX REPLACE "[ \t]*=.*$" "" name "${line}")
      string(APPEND names "${name}\n")
    endforeach()
  endforeach()
  file(WRITE ${def_file} "${def}")
  file(WRITE ${names_file} "${names}")
endfunction()
