# SPDX-License-Identifier: Apache-2.0
# The Debian changelog every package carries: the section of CHANGELOG.md for
# the project's version in Debian's format, dated by that section, and
# compressed as Debian wants it (gzip -9n).
function(kelo_write_debian_changelog source_package maintainer output)
  file(READ ${PROJECT_SOURCE_DIR}/CHANGELOG.md text)
  string(FIND "${text}" "\n## [${PROJECT_VERSION}] - " start)
  if(start EQUAL -1)
    message(FATAL_ERROR "CHANGELOG.md has no section '## [${PROJECT_VERSION}] - DATE'")
  endif()
  math(EXPR start "${start} + 1")
  string(SUBSTRING "${text}" ${start} -1 section)
  string(REGEX MATCH "^## [^\n]* - ([0-9]+-[0-9]+-[0-9]+)\n" heading "${section}")
  set(date ${CMAKE_MATCH_1})
  string(LENGTH "${heading}" length)
  string(SUBSTRING "${section}" ${length} -1 body)
  string(FIND "${body}" "\n## " end)
  if(NOT end EQUAL -1)
    string(SUBSTRING "${body}" 0 ${end} body)
  endif()
  # Markdown to changelog lines: headings become items, list entries and
  # their continuations sub-items, other text items of their own.
  string(REGEX REPLACE "\n  ([^ \n])" "\n      \\1" body "\n${body}")
  string(REGEX REPLACE "\n- " "\n    - " body "${body}")
  string(REGEX REPLACE "\n### ([^\n]*)" "\n  * \\1:" body "${body}")
  string(REGEX REPLACE "\n([^ \n])" "\n  * \\1" body "${body}")
  string(REGEX REPLACE "\n\n+" "\n\n" body "${body}")
  string(STRIP "${body}" body)
  execute_process(COMMAND date -R -u -d ${date} OUTPUT_VARIABLE stamp
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  get_filename_component(directory ${output} DIRECTORY)
  file(WRITE ${directory}/changelog
       "${source_package} (${PROJECT_VERSION}) stable; urgency=medium\n\n  ${body}\n\n -- ${maintainer}  ${stamp}\n")
  execute_process(COMMAND gzip -9nc ${directory}/changelog OUTPUT_FILE ${output}
                  COMMAND_ERROR_IS_FATAL ANY)
endfunction()
