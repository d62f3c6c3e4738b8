brennix_add_fuzzer(hpgl_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/hpgl_fuzz.cpp
  LIBS brennix_hpgl
  CORPUS hpgl)
