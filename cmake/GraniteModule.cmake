# Helpers shared by the module CMake files.

# Adds every direct sub-folder of the current folder that has a CMakeLists.txt,
# in name order, skipping those named in EXCLUDE.
function(granite_add_subdirectories)
  cmake_parse_arguments(ARG "" "" "FIRST;EXCLUDE" ${ARGN})
  foreach(dir ${ARG_FIRST})
    add_subdirectory(${dir})
  endforeach()
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt
       AND NOT child IN_LIST ARG_FIRST AND NOT child IN_LIST ARG_EXCLUDE)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# granite_add_test(NAME [OCCT | OCCT_CHECKED | OCCT_FAULTS] SOURCES a.cpp ... LIBS lib ...
#                  [LINUX_ONLY pattern ...] [NEEDS_OCCT pattern ...] [SHIM_DIFFERS pattern ...])
# One GoogleTest executable, its tests registered with CTest. The executable
# exports its symbols so that shared libraries it loads can bind to the
# loader classes linked into it statically. The lists name (as GoogleTest
# filter patterns) the tests left out under wine: those that need a facility
# only Linux has, those that need Open CASCADE, and those whose expectations
# follow our run-time stand-in where the Windows run-time answers otherwise.
# The OCCT flags say how a program runs Open CASCADE, which chooses its leak
# suppressions in a sanitizer build (tests/occt_leaks.cpp): now and then, as
# the subject of its tests, or on malformed files.
function(granite_add_test name)
  cmake_parse_arguments(ARG "OCCT;OCCT_CHECKED;OCCT_FAULTS" ""
                        "SOURCES;LIBS;LINUX_ONLY;NEEDS_OCCT;SHIM_DIFFERS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set(leaks 0)
  foreach(kind OCCT OCCT_CHECKED OCCT_FAULTS)
    math(EXPR leaks "${leaks} + 1")
    if(GRANITE_SANITIZE AND ARG_${kind})
      target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/occt_leaks.cpp)
      target_compile_definitions(${name} PRIVATE GRANITE_OCCT_LEAKS=${leaks})
    endif()
  endforeach()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
  target_compile_definitions(${name} PRIVATE GRANITE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                             GRANITE_BINARY_DIR="${PROJECT_BINARY_DIR}"
                             GRANITE_DATA_DIR="${GRANITE_DATA_DIR}")
  if(NOT CMAKE_CROSSCOMPILING)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120)
    return()
  endif()
  # Under wine one process per program: starting wine costs more than most
  # tests do. Each list left out is an entry of its own under its label.
  set(excluded "")
  foreach(kind LINUX_ONLY NEEDS_OCCT SHIM_DIFFERS)
    if(ARG_${kind})
      string(TOLOWER ${kind} label)
      list(JOIN ARG_${kind} ":" patterns)
      add_test(NAME ${name}.${label} COMMAND ${name} --gtest_filter=${patterns})
      set_tests_properties(${name}.${label} PROPERTIES LABELS ${label})
      list(APPEND excluded ${ARG_${kind}})
    endif()
  endforeach()
  list(JOIN excluded ":" excluded)
  add_test(NAME ${name} COMMAND ${name} --gtest_filter=-${excluded})
  # Share modes hold across processes on Windows: two programs opening the
  # same sample files at once would refuse each other.
  set_tests_properties(${name} PROPERTIES LABELS windows TIMEOUT 600 RESOURCE_LOCK sample_files)
endfunction()

# A test program that cannot be built for this target, listed under a label.
function(granite_skipped_test name label)
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "${name}: ${label}")
  set_tests_properties(${name} PROPERTIES LABELS ${label})
endfunction()
