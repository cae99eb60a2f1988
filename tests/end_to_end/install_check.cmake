# Installs a build into a scratch prefix and checks that the program and its manual page land
# where PATH and man look for them, and that the page renders without warnings.
# Run with -DBUILD_DIR=... -DPREFIX=...
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(file bin/zorvanteli share/man/man1/zorvanteli.1)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
find_program(man_program man)
if(man_program)
  execute_process(COMMAND "${man_program}" --warnings -l "${PREFIX}/share/man/man1/zorvanteli.1"
                  OUTPUT_QUIET ERROR_VARIABLE warnings)
  if(NOT warnings STREQUAL "")
    message(FATAL_ERROR "the manual page renders with warnings:\n${warnings}")
  endif()
endif()
file(REMOVE_RECURSE "${PREFIX}")
