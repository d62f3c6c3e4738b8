brennix_add_benchmark(svg_bench SOURCES svg_bench.cpp LIBS brennix_svg)
