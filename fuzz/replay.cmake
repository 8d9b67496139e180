# Each fuzz target's committed corpus replayed as a test of the suite (see
# replay.cpp), under the test build's sanitizers. Not on Windows: the string
# target's model is the stand-in's text functions, and the corpora are read
# from the source folder.
function(granite_add_fuzz_replay name)
  granite_add_test(${name}_replay SOURCES ${PROJECT_SOURCE_DIR}/fuzz/${name}_fuzz.cpp
                   ${PROJECT_SOURCE_DIR}/fuzz/replay.cpp LIBS ${ARGN})
  target_compile_definitions(${name}_replay PRIVATE CORPUS="${name}" CORPUS_TEST=${name})
  target_include_directories(${name}_replay PRIVATE ${PROJECT_SOURCE_DIR}/fuzz)
endfunction()
if(NOT WIN32)
  granite_add_fuzz_replay(basic_list granite_basic)
  granite_add_fuzz_replay(basic_string granite_basic)
  granite_add_fuzz_replay(native_reader granite_testkit)
  granite_add_fuzz_replay(native_load granite_loader_static granite_testkit qorvelaex qorvela)
endif()
