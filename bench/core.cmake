brennix_add_benchmark(core_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/core_bench.cpp LIBS brennix_core)
