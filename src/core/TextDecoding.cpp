#include "TextDecoding.h"

TByteOrderMark ByteOrderMarkOf(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF"))
    return bomUtf8;
  if (bytes.starts_with("\xFF\xFE"))
    return bomUtf16Little;
  if (bytes.starts_with("\xFE\xFF"))
    return bomUtf16Big;
  return bomNone;
}

std::string NarrowUtf16(std::string_view bytes, bool littleEndian, unsigned limit,
                        char substitute) {
  std::string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t k = 2; k + 1 < bytes.size(); k += 2) {
    const auto lo = static_cast<unsigned char>(bytes[littleEndian ? k : k + 1]);
    const auto hi = static_cast<unsigned char>(bytes[littleEndian ? k + 1 : k]);
    const unsigned unit = static_cast<unsigned>(hi) << 8 | lo;
    text.push_back(unit < limit ? static_cast<char>(lo) : substitute);
  }
  return text;
}
