if(BRENNIX_LIBFUZZER)
  # The reader's own sources go into the target, so that libFuzzer's
  # coverage instrumentation sees them (the libraries are built without it).
  brennix_add_fuzzer(stl_fuzz
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/stl_fuzz.cpp
            ${CMAKE_SOURCE_DIR}/src/stl/StlReader.cpp ${CMAKE_SOURCE_DIR}/src/stl/StlLevels.cpp
    LIBS brennix_core CORPUS stl)
else()
  brennix_add_fuzzer(stl_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/stl_fuzz.cpp LIBS brennix_stl CORPUS stl)
endif()
# clang calls out to libatomic for the level's atomics.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  target_link_libraries(stl_fuzz PRIVATE atomic)
endif()
