#pragma once
// One layer of the job: its input geometry, burn settings and burn paths.
// The paths are computed by BurnPaths.h and drawn by the cycle (Cycle.h).

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Geometry.h"
#include "LabColor.h"

class TLevels;

// The ordinals are compared and stored: keep the order.
enum TLevelKind : std::uint8_t { lkLines, lkArea, lkPerimeter, lkOutline };
enum TLevelStyle : std::uint8_t { lsHorizontal, lsDiagonalDown, lsVertical, lsDiagonalUp };

class TLevel {
public:
  explicit TLevel(TLevelKind kind);
  TLevel(const TLevel &) = delete;
  TLevel &operator=(const TLevel &) = delete;

  const std::string &Name() const { return FName; }
  void SetName(std::string name) { FName = std::move(name); }
  bool Print() const { return FPrint; }
  // Toggling a lines level recomputes every level (areas keep clear of it).
  void SetPrint(bool value);
  std::int32_t Speed() const { return FSpeed; }
  // Stores at least 1, then refreshes the estimate.
  void SetSpeed(std::int32_t value);
  std::int32_t Power() const { return FPower; }
  // Restarts drawing when the power goes from zero to non-zero or back.
  void SetPower(std::int32_t value);
  std::int32_t Passes() const { return FPasses; }
  // Restarts drawing when the passes go from zero to non-zero or back,
  // otherwise refreshes the estimate.
  void SetPasses(std::int32_t value);
  TLevelKind Kind() const { return FKind; }
  std::uint32_t Color() const { return FColor; }
  void SetColor(std::uint32_t argb) { FColor = argb; }
  TLevelStyle Style() const { return FStyle; }
  void SetStyle(TLevelStyle value); // invalidates
  std::int32_t Height() const { return FHeight; }
  void SetHeight(std::int32_t value); // invalidates
  const TLabColor &LabColor() const { return FLabColor; }
  void SetLabColor(const TLabColor &lab) { FLabColor = lab; }

  // Input path sets; null for perimeter levels. Written only while the
  // worker is held (during loading).
  std::vector<TPaths> *Input() { return FInput.get(); }
  const std::vector<TPaths> *Input() const { return FInput.get(); }

  // A consistent copy of the burn paths, safe from any thread.
  TPaths Output() const;
  // At most count burn paths from index first on, copied consistently.
  TPaths OutputPart(std::size_t first, std::size_t count) const;
  std::size_t OutputCount() const;
  // PathsLength of the burn paths as open paths, read in place: a picture's
  // millions of runs are not copied for the estimate.
  std::int64_t OutputLength() const;
  // Burn paths are replaced by the worker; these keep every reader consistent.
  void ClearOutput();
  void AppendOutput(const TPaths &paths);
  void SetOutput(TPaths paths);

  // Marked for recomputation: set by the setters, cleared once computed.
  bool Recalc() const { return FRecalc; }
  void SetRecalc(bool value) { FRecalc = value; }
  // Burn paths already in the preview; reset and advanced on the main thread.
  std::int32_t LastDrawn() const { return FLastDrawn; }
  void SetLastDrawn(std::int32_t value) { FLastDrawn = value; }

  // Marks the level for recomputation and restarts the cycle.
  void Invalidate();

  // The list this level belongs to, set by the list when it takes the level.
  void SetOwner(TLevels *owner) { FOwner = owner; }

private:
  std::atomic<bool> FRecalc{false};
  std::atomic<std::int32_t> FLastDrawn{0};
  std::string FName;
  std::atomic<std::int32_t> FHeight{0};
  std::atomic<std::int32_t> FSpeed{1};
  std::atomic<std::int32_t> FPower{0};
  std::atomic<std::int32_t> FPasses{0};
  std::atomic<std::uint32_t> FColor{0};
  const TLevelKind FKind;
  std::unique_ptr<std::vector<TPaths>> FInput;
  mutable std::mutex FOutputLock;
  TPaths FOutput;
  std::atomic<bool> FPrint{true};
  std::atomic<TLevelStyle> FStyle{lsHorizontal};
  TLabColor FLabColor;
  TLevels *FOwner = nullptr;
};
