brennix_add_fuzzer(svg_fuzz SOURCES svg_fuzz.cpp LIBS brennix_svg CORPUS svg)
brennix_add_fuzzer(svgpath_fuzz SOURCES svgpath_fuzz.cpp LIBS brennix_svg CORPUS svgpath)
