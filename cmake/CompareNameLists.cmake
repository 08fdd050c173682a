# SPDX-License-Identifier: Apache-2.0
# Fails the check when two sorted lists of exported names differ, naming
# what is missing and what is there unexpectedly.
function(kelo_compare_name_lists actual expected what)
  set(missing ${expected})
  set(extra ${actual})
  if(actual)
    list(REMOVE_ITEM missing ${actual})
  endif()
  if(expected)
    list(REMOVE_ITEM extra ${expected})
  endif()
  if(missing OR extra OR NOT actual STREQUAL expected)
    list(JOIN missing " " missing_text)
    list(JOIN extra " " extra_text)
    message(FATAL_ERROR "${what} differ from the *.exports files.\n"
                        "missing: ${missing_text}\nunexpected: ${extra_text}")
  endif()
endfunction()
