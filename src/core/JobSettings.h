#pragma once
// The job-wide settings the level list carries: sizes, spot diameter and the
// switches that apply to every level. The main thread writes them through
// TLevels, whose setters also start the recomputation each change needs; the
// worker reads them during its cycle, hence atomic.

#include <atomic>
#include <cstdint>

#include "Geometry.h"

class TJobSettings {
public:
  TIntSize Size() const { return FSize; }
  void SetSize(TIntSize size) { FSize = size; }
  TIntSize View() const { return FView; }
  TIntSize Output() const { return FOutput; }
  // Spot diameter in internal units.
  std::int32_t Focus() const { return FFocus; }
  bool Mirror() const { return FMirror; }
  bool Outline() const { return FOutline; }
  bool Travel() const { return FTravel; }
  // Output per drawing unit, fixed by UpdateScale at the start of each cycle.
  TSizeF Scale() const { return FScale; }
  void UpdateScale();

protected:
  std::atomic<TIntSize> FSize{}, FView{}, FOutput{};
  std::atomic<std::int32_t> FFocus{0};
  std::atomic<TSizeF> FScale{};
  std::atomic<bool> FTravel{false}, FMirror{false}, FOutline{false};
};
