brennix_add_benchmark(hpgl_bench
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/hpgl_bench.cpp
  LIBS brennix_hpgl)
