# The fuzz targets, fuzz/fuzz_<surface>.cc, each with the library of the
# ordinary build whose code it tests (and whatever that library links). The
# libFuzzer build (fuzz/CMakeLists.txt) builds them instrumented; every other
# build replays their corpora (fuzz/replay.cmake).
set(FUZZ_TARGETS
  text common
  envelope checker_lib
  rules checker_reference
  explain admin_lib
  lint admin_lib
  replay admin_lib
  edit admin_lib
  serve admin_lib
  scan analyser_reference
  config analyser_lib)

# Calls function(surface library) for each target.
macro(for_each_fuzz_target function)
  set(_fuzz_list ${FUZZ_TARGETS})
  while(_fuzz_list)
    list(POP_FRONT _fuzz_list _fuzz_surface _fuzz_library)
    cmake_language(CALL ${function} ${_fuzz_surface} ${_fuzz_library})
  endwhile()
endmacro()
