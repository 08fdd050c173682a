# SPDX-License-Identifier: Apache-2.0
# Compiles the C++ API header as C++17 and C++20 with each compiler given,
# cleanly under strict warnings; for Windows compilers once more after
# <windows.h>, whose macros it must survive.
#   cmake -DCOMPILERS=c++,clang++,... -DINCLUDE=<include dir> -DPROBE=<source> -P CheckCppHeader.cmake
foreach(var COMPILERS INCLUDE PROBE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckCppHeader: ${var} is not set")
  endif()
endforeach()

string(REPLACE "," ";" compilers "${COMPILERS}")
set(flags -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Werror
    -fsyntax-only -I${INCLUDE})
set(failures 0)
foreach(compiler IN LISTS compilers)
  set(variants "")
  if(compiler MATCHES "mingw")
    set(variants -DKELO_PROBE_WINDOWS_H)
  endif()
  foreach(standard c++17 c++20)
    foreach(variant "" ${variants})
      execute_process(COMMAND ${compiler} -x c++ -std=${standard} ${flags} ${variant} ${PROBE}
                      RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
      if(NOT rc EQUAL 0)
        message(SEND_ERROR "kelo.hpp does not compile cleanly with ${compiler} -std=${standard} ${variant}:\n${out}")
        math(EXPR failures "${failures} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} C++ header check(s) failed")
endif()
message(STATUS "kelo.hpp: clean as C++17 and C++20 with ${COMPILERS}")
