# Every build replays each fuzz target's corpus (fuzz/corpus/<surface>/) with a
# plain driver instead of libFuzzer: the seeds and the saved findings stay
# regression tests under any compiler, and under the sanitizers in their build.
set(FUZZ_DIR ${CMAKE_SOURCE_DIR}/fuzz)
function(fuzz_replay surface)
  add_executable(replay_${surface} ${FUZZ_DIR}/fuzz_${surface}.cc ${FUZZ_DIR}/replay_main.cc
                                   ${FUZZ_DIR}/fuzz_scratch.cc)
  target_link_libraries(replay_${surface} PRIVATE ${ARGN} common)
  add_test(NAME fuzz_corpus_${surface} COMMAND replay_${surface} ${FUZZ_DIR}/corpus/${surface})
endfunction()

fuzz_replay(text)
if(TARGET checker_lib)
  fuzz_replay(envelope checker_lib)
  fuzz_replay(rules checker_lib)
endif()
if(TARGET admin_lib)
  fuzz_replay(explain admin_lib)
  fuzz_replay(lint admin_lib)
  fuzz_replay(replay admin_lib)
  fuzz_replay(serve admin_lib)
  # GCC's optimiser takes Beast's response parser (the oracle's) for reading
  # an optional it has not set, a false alarm inside Boost's headers.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(replay_serve PRIVATE -Wno-maybe-uninitialized)
  endif()
endif()
if(TARGET analyser_reference)
  fuzz_replay(scan analyser_reference)
  fuzz_replay(config analyser_lib)
endif()
