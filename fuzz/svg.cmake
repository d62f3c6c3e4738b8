brennix_add_fuzzer(svg_fuzz SOURCES svg_fuzz.cpp LIBS brennix_svg CORPUS svg)
brennix_add_fuzzer(svgpath_fuzz SOURCES svgpath_fuzz.cpp LIBS brennix_svg CORPUS svgpath)
# The level list keeps its size in a std::atomic of a struct, which clang
# implements through libatomic.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  target_link_libraries(svg_fuzz PRIVATE atomic)
  target_link_libraries(svgpath_fuzz PRIVATE atomic)
endif()
