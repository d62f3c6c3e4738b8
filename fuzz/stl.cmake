brennix_add_fuzzer(stl_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/stl_fuzz.cpp LIBS brennix_stl CORPUS stl)
# clang calls out to libatomic for the level's atomics.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  target_link_libraries(stl_fuzz PRIVATE atomic)
endif()
