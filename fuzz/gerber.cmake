# libatomic: the level list keeps sizes in std::atomic, which clang links through it.
brennix_add_fuzzer(gerber_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/gerber_fuzz.cpp
  LIBS brennix_gerber atomic
  CORPUS gerber)
brennix_add_fuzzer(calculator_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/calculator_fuzz.cpp
  LIBS brennix_gerber atomic
  CORPUS calculator)
