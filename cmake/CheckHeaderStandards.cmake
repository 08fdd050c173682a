# SPDX-License-Identifier: Apache-2.0
# Compiles the public header as each C and C++ standard, cleanly under
# -Wall -Wextra -pedantic -Werror, and checks that a false size check stops
# the compilation in each of them.
#   cmake -DCC=... -DCXX=... -DINCLUDE=<include dir> -DPROBE=<source> -P CheckHeaderStandards.cmake
foreach(var CC CXX INCLUDE PROBE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckHeaderStandards: ${var} is not set")
  endif()
endforeach()

set(flags -Wall -Wextra -pedantic -Werror -fsyntax-only -I${INCLUDE})
set(failures 0)
foreach(standard c89 c99 c11 c17 c++98 c++11 c++14 c++17 c++20)
  if(standard MATCHES "^c\\+\\+")
    set(compiler ${CXX})
    set(language c++)
  else()
    set(compiler ${CC})
    set(language c)
  endif()
  execute_process(COMMAND ${compiler} -x ${language} -std=${standard} ${flags} ${PROBE}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(SEND_ERROR "kelo_dll.h does not compile cleanly as ${standard}:\n${out}")
    math(EXPR failures "${failures} + 1")
  endif()
  execute_process(COMMAND ${compiler} -x ${language} -std=${standard} ${flags}
                          -DKELO_PROBE_FALSE_CHECK ${PROBE}
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(rc EQUAL 0)
    message(SEND_ERROR "a false KELO_STATIC_ASSERT compiles as ${standard}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} header check(s) failed with ${CC} / ${CXX}")
endif()
message(STATUS "kelo_dll.h: clean and checked in C89 to C17 and C++98 to C++20")
