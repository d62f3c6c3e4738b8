#include "FileBytes.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "ReadResult.h"

std::string ReadFileBytes(const std::string &fileName, std::int64_t maxBytes) {
  auto tooLarge = [&] { return TReadError("The file is too large: " + fileName); };
  // A folder opens as a stream too, with a nonsense size.
  std::error_code error;
  if (std::filesystem::is_directory(fileName, error))
    throw TReadError("Cannot open file " + fileName);
  std::ifstream in(fileName, std::ios::binary);
  if (!in)
    throw TReadError("Cannot open file " + fileName);
  std::string bytes;
  if (std::filesystem::is_regular_file(fileName, error)) {
    const std::uintmax_t size = std::filesystem::file_size(fileName, error);
    if (!error) {
      if (size > static_cast<std::uintmax_t>(maxBytes))
        throw tooLarge();
      bytes.reserve(static_cast<std::size_t>(size));
    }
  }
  // In pieces, counted against the cap: a pipe or a device has no size to
  // check first, and a file may grow while it is read.
  std::array<char, 1 << 16> buffer;
  while (in.read(buffer.data(), buffer.size()) || in.gcount() > 0) {
    const auto got = static_cast<std::size_t>(in.gcount());
    if (static_cast<std::int64_t>(bytes.size() + got) > maxBytes)
      throw tooLarge();
    bytes.append(buffer.data(), got);
  }
  if (in.bad())
    throw TReadError("Cannot read file " + fileName);
  return bytes;
}
