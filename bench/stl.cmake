brennix_add_benchmark(stl_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/stl_bench.cpp LIBS brennix_stl)
# The relief models are the tests' own helpers.
target_include_directories(stl_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/stl)
