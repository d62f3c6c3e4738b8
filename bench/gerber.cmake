brennix_add_benchmark(gerber_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/gerber_bench.cpp LIBS brennix_gerber)
