# clang leaves the 8-byte std::atomic<TIntSize> of the core to libatomic.
brennix_add_fuzzer(hpgl_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/hpgl_fuzz.cpp
  LIBS brennix_hpgl atomic
  CORPUS hpgl)
if(BRENNIX_LIBFUZZER)
  # The reader itself must carry the coverage counters and the sanitizers,
  # or the fuzzer only sees its own entry point.
  target_compile_options(brennix_hpgl PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
endif()
