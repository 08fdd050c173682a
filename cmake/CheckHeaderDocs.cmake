# SPDX-License-Identifier: Apache-2.0
# Doxygen warns about undocumented declarations only in documented files:
# every public header must open with a @file comment, or what it declares
# would be left out of the reference without a word.
#   cmake -DROOT=<source dir> -P CheckHeaderDocs.cmake
file(GLOB_RECURSE headers ${ROOT}/include/*.h ${ROOT}/include/*.hpp)
set(missing "")
foreach(header IN LISTS headers)
  file(READ ${header} text)
  if(NOT text MATCHES "/\\*\\*[ \t\r\n]*@file")
    list(APPEND missing ${header})
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " missing)
  message(FATAL_ERROR "public headers without a /** @file ... */ comment:\n  ${missing}")
endif()
