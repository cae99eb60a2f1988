# Installs a build into a scratch prefix and checks that the program, its manual page, bash
# completion, licence and changelog land where PATH, man, bash and Debian look for them, that the page renders without warnings
# and that nothing else is installed.
# Run with -DBUILD_DIR=... -DPREFIX=...
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT installed)
set(expected bin/zorvanteli share/bash-completion/completions/zorvanteli
             share/doc/zorvanteli/changelog.gz share/doc/zorvanteli/copyright
             share/man/man1/zorvanteli.1.gz)
if(NOT installed STREQUAL expected)
  message(FATAL_ERROR "installed: ${installed}\nexpected: ${expected}")
endif()
find_program(man_program man)
if(man_program)
  execute_process(COMMAND "${man_program}" --warnings -l "${PREFIX}/share/man/man1/zorvanteli.1.gz"
                  OUTPUT_QUIET ERROR_VARIABLE warnings)
  if(NOT warnings STREQUAL "")
    message(FATAL_ERROR "the manual page renders with warnings:\n${warnings}")
  endif()
endif()
file(REMOVE_RECURSE "${PREFIX}")
