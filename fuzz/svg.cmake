brennix_add_fuzzer(svg_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/svg_fuzz.cpp LIBS brennix_svg CORPUS svg)
brennix_add_fuzzer(svgpath_fuzz SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/svgpath_fuzz.cpp LIBS brennix_svg CORPUS svgpath)
