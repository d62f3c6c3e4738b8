brennix_add_fuzzer(raster_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/raster_fuzz.cpp LIBS brennix_raster CORPUS raster)
