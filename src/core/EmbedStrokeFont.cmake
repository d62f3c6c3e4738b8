# Turns a Hershey font file (.jhf) into a C++ source holding its bytes, so the
# program carries its stroke font and never reads one at run time.
#   cmake -DINPUT=font.jhf -DOUTPUT=StrokeFontData.cpp -P EmbedStrokeFont.cmake
file(READ "${INPUT}" bytes HEX)
string(LENGTH "${bytes}" digits)
if(digits EQUAL 0)
  message(FATAL_ERROR "The stroke font ${INPUT} is empty")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${bytes}")
# Sixteen characters a line keeps the generated source readable in a diff tool.
string(REGEX REPLACE "(('[^']*',){16})" "\\1\n  " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT} by EmbedStrokeFont.cmake: do not edit.
#include <cstddef>
extern const char StrokeFontData[];
extern const std::size_t StrokeFontDataSize;
const char StrokeFontData[] = {
  ${bytes}};
const std::size_t StrokeFontDataSize = sizeof(StrokeFontData);
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
