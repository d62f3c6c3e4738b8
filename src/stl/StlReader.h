#pragma once
// STL models, binary and ASCII, as height levels: the model is a relief seen
// from above, and only its horizontal faces matter.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/ReadResult.h"

// Reads the file and builds its levels.
TReadResult LoadStereolithographyFile(const std::string &fileName, const TReadOptions &options);
// The same from the file's bytes.
TReadResult ReadStereolithography(std::string_view bytes, const TReadOptions &options);

// A horizontal face after normalisation: corners in internal units measured
// from the model's lower-left corner, and its height as a table index.
struct THorizontalFacet {
  std::array<TIntPoint, 3> Corners;
  std::int32_t Height = 0;
};

struct TStlModel {
  // In file order.
  std::vector<THorizontalFacet> Facets;
  TIntSize Size;
};

// Reading and normalisation without building levels. The two format
// messages of the ASCII form go to options.ShowMessage and give an empty
// model; other bad input throws TReadError.
TStlModel ReadStlModel(std::string_view bytes, const TReadOptions &options);

// The 100 heights in hundredths of a millimetre that faces snap to.
constexpr int StlHeightCount = 100;
std::int32_t StlHeight(int index);
// The nearest table height to hundredths of a millimetre; exactly halfway
// takes the higher one.
int StlHeightIndex(double hundredths);

// Kept for the test that checks the search: the same index by a plain scan.
int StlHeightIndexReference(double hundredths);
