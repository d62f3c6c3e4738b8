brennix_add_fuzzer(raster_fuzz SOURCES raster_fuzz.cpp LIBS brennix_raster CORPUS raster)
