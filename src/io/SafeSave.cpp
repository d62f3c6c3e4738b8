#include "SafeSave.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr std::string_view TemporaryMark = ".brennix-";
constexpr std::size_t RandomLength = 6;

bool LetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// What to tell the user: errno's own words are often "Permission denied"
// about a folder they did not pick, so the folder comes first.
std::string FailureText(const char *what, const std::string &fileName, int error) {
  const fs::path folder = fs::absolute(fs::path(fileName)).parent_path();
  std::error_code ignored;
  std::string reason;
  if (!fs::is_directory(folder, ignored))
    reason = "The folder \"" + folder.string() + "\" does not exist.";
  else if (access(folder.c_str(), W_OK) != 0)
    reason = "The folder \"" + folder.string() + "\" cannot be written: choose another folder.";
  else if (error == ENOSPC || error == EDQUOT || error == 0)
    reason = "Check that the disk has free space and the file is not write-protected.";
  else
    reason = std::string(std::strerror(error)) + ".";
  return std::string(what) + " \"" + fileName + "\". " + reason + " Nothing was written.";
}

void RemoveStaleTemporaries(const fs::path &target) {
  std::error_code error;
  const std::string name = target.filename().string();
  fs::path folder = target.parent_path();
  if (folder.empty())
    folder = ".";
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string entry = it->path().filename().string();
    std::error_code ignored;
    if (IsSaveTemporaryOf(entry, name) && it->is_regular_file(ignored))
      fs::remove(it->path(), ignored);
  }
}

} // namespace

bool IsSaveTemporaryOf(std::string_view name, std::string_view target) {
  if (name.size() != 1 + target.size() + TemporaryMark.size() + RandomLength || name[0] != '.' ||
      name.substr(1, target.size()) != target ||
      name.substr(1 + target.size(), TemporaryMark.size()) != TemporaryMark)
    return false;
  for (char c : name.substr(name.size() - RandomLength))
    if (!LetterOrDigit(c))
      return false;
  return true;
}

void SaveFileWhole(const std::string &fileName, std::string_view text) {
  const fs::path target(fileName);
  RemoveStaleTemporaries(target);

  static constexpr char Letters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<std::size_t> pick(0, sizeof Letters - 2);
  fs::path temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    std::string name = "." + target.filename().string() + std::string(TemporaryMark);
    for (std::size_t i = 0; i < RandomLength; ++i)
      name += Letters[pick(random)];
    temporary = target.parent_path() / name;
    // The umask applies as for any new file; a file replaced keeps its mode.
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST)
      throw std::runtime_error(FailureText("Cannot create file", fileName, errno));
  }
  if (fd < 0)
    throw std::runtime_error(FailureText("Cannot create file", fileName, EEXIST));

  auto fail = [&](int error) {
    close(fd);
    unlink(temporary.c_str());
    throw std::runtime_error(FailureText("Cannot write file", fileName, error));
  };
  struct stat existing {};
  if (stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
    fchmod(fd, existing.st_mode & 07777);
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t written = write(fd, text.data() + done, text.size() - done);
    if (written < 0) {
      if (errno == EINTR)
        continue;
      fail(errno);
    }
    done += static_cast<std::size_t>(written);
  }
  // On the disk before the rename, or a power cut could leave the new
  // name over an empty file.
  if (fsync(fd) != 0)
    fail(errno);
  if (close(fd) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    throw std::runtime_error(FailureText("Cannot write file", fileName, error));
  }
  if (rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    throw std::runtime_error(FailureText("Cannot write file", fileName, error));
  }
}
