brennix_add_fuzzer(gerber_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/gerber_fuzz.cpp
  LIBS brennix_gerber
  CORPUS gerber)
brennix_add_fuzzer(calculator_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/calculator_fuzz.cpp
  LIBS brennix_gerber
  CORPUS calculator)
