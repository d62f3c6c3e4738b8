#pragma once
// A whole file read into memory for a reader, with one set of messages.

#include <cstdint>
#include <limits>
#include <string>

// For the readers that set no cap of their own.
constexpr std::int64_t UnlimitedFileBytes = std::numeric_limits<std::int64_t>::max();

// The bytes of the file. Throws TReadError: "Cannot open file NAME" (missing,
// not readable, a folder), "The file is too large: NAME" (more than
// maxBytes) or "Cannot read file NAME".
std::string ReadFileBytes(const std::string &fileName, std::int64_t maxBytes);
