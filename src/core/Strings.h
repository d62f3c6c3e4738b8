#pragma once
// Text substitutions that the settings store and the G-code writer share.
// Header only: the settings library uses it without linking the core.

#include <string>
#include <string_view>

// text with every occurrence of from (not empty) replaced by to, left to right.
inline std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string result;
  std::size_t start = 0;
  for (auto found = text.find(from); found != std::string_view::npos;
       found = text.find(from, start)) {
    result.append(text, start, found - start);
    result += to;
    start = found + from.size();
  }
  result.append(text, start);
  return result;
}
