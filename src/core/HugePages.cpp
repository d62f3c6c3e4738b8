#include "HugePages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

void AskHugePages(const void *data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t Huge = std::uintptr_t{2} << 20;
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (start + Huge - 1) / Huge * Huge;
  const std::uintptr_t last = (start + bytes) / Huge * Huge;
  if (last > first)
    madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}
