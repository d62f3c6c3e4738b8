// Replays every file of the given folders (or the given files) through the
// fuzz target, so inputs found by the fuzzer stay covered by ctest.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzEntry.h"

namespace {
void Replay(const std::filesystem::path &file) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
}
} // namespace

int main(int argc, char **argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    if (std::filesystem::is_directory(path)) {
      for (const auto &entry : std::filesystem::recursive_directory_iterator(path))
        if (entry.is_regular_file()) {
          Replay(entry.path());
          ++count;
        }
    } else if (std::filesystem::exists(path)) {
      Replay(path);
      ++count;
    }
  }
  std::printf("replayed %d inputs\n", count);
  return 0;
}
