#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "core/FileBytes.h"
#include "core/ReadResult.h"

namespace {

std::string ErrorOf(const std::string &fileName, std::int64_t maxBytes) {
  try {
    ReadFileBytes(fileName, maxBytes);
  } catch (const TReadError &error) {
    return error.what();
  }
  return "read";
}

} // namespace

TEST(ReadFileBytes, ReadsUpToTheCapAndNamesTheFileOtherwise) {
  const std::string name =
      (std::filesystem::path(testing::TempDir()) / "brennix-file-bytes.bin").string();
  const std::string bytes("\0\xFF"
                          "all bytes\r\n",
                          13);
  std::ofstream(name, std::ios::binary) << bytes;
  EXPECT_EQ(ReadFileBytes(name, 13), bytes);
  EXPECT_EQ(ErrorOf(name, 12), "The file is too large: " + name);
  EXPECT_EQ(ErrorOf(name + ".missing", 100), "Cannot open file " + name + ".missing");
  const std::string folder = std::string(BRENNIX_SOURCE_DIR) + "/examples";
  EXPECT_EQ(ErrorOf(folder, UnlimitedFileBytes), "Cannot open file " + folder);
  std::filesystem::remove(name);
}
