brennix_add_fuzzer(raster_fuzz SOURCES raster_fuzz.cpp LIBS brennix_raster CORPUS raster)
# clang calls out to libatomic for the level list's std::atomic<TIntSize>.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  target_link_libraries(raster_fuzz PRIVATE atomic)
endif()
