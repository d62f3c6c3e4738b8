brennix_add_benchmark(io_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/io_bench.cpp LIBS brennix_io brennix_core)
