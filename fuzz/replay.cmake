# Every build replays each fuzz target's corpus (fuzz/corpus/<surface>/) with a
# plain driver instead of libFuzzer: the seeds and the saved findings stay
# regression tests under any compiler, and under the sanitizers in their build.
set(FUZZ_DIR ${CMAKE_SOURCE_DIR}/fuzz)
include(${FUZZ_DIR}/targets.cmake)

function(fuzz_replay surface library)
  add_executable(replay_${surface} ${FUZZ_DIR}/fuzz_${surface}.cc ${FUZZ_DIR}/replay_main.cc
                                   ${FUZZ_DIR}/fuzz_scratch.cc)
  target_link_libraries(replay_${surface} PRIVATE ${library} common)
  add_test(NAME fuzz_corpus_${surface} COMMAND replay_${surface} ${FUZZ_DIR}/corpus/${surface})
endfunction()

for_each_fuzz_target(fuzz_replay)
# GCC's optimiser takes Beast's response parser (fuzz_serve's oracle) for
# reading an optional it has not set, a false alarm inside Boost's headers.
if(TARGET replay_serve AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(replay_serve PRIVATE -Wno-maybe-uninitialized)
endif()
