brennix_add_fuzzer(stl_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/stl_fuzz.cpp LIBS brennix_stl CORPUS stl)
