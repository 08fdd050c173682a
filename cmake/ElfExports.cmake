# SPDX-License-Identifier: Apache-2.0
# The ELF shared library exports exactly the names of the *.exports files.
# A decorated Windows name ("_name@8") is the plain function name there.

# Reads the plain list of export names into out_var, as ELF symbol names.
function(kelo_elf_export_names names_file out_var)
  file(STRINGS ${names_file} names)
  set(result "")
  foreach(name IN LISTS names)
    if(name MATCHES "^_?([A-Za-z_][A-Za-z0-9_]*)@[0-9]+$")
      set(name "${CMAKE_MATCH_1}")
    endif()
    list(APPEND result "${name}")
  endforeach()
  set(${out_var} "${result}" PARENT_SCOPE)
endfunction()

# Writes a linker version script that keeps those names global and makes
# every other symbol local, the C++ runtime's template instances included
# (libstdc++ declares namespace std with default visibility, so hidden
# visibility alone does not hide them).
function(kelo_write_version_script names_file script_file)
  kelo_elf_export_names(${names_file} names)
  set(script "{\n  global:\n")
  foreach(name IN LISTS names)
    string(APPEND script "    ${name};\n")
  endforeach()
  string(APPEND script "  local:\n    *;\n};\n")
  kelo_write_if_changed(${script_file} "${script}")
endfunction()
