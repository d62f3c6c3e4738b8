brennix_add_benchmark(raster_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/raster_bench.cpp LIBS brennix_raster)
