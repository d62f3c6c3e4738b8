#pragma once
// Small jobs built in code for the level and toolpath tests.

#include <memory>

#include "core/HeadlessHost.h"
#include "core/Levels.h"

inline TPath Square(ClipperLib::cInt left, ClipperLib::cInt bottom, ClipperLib::cInt side) {
  return {
      {left, bottom}, {left + side, bottom}, {left + side, bottom + side}, {left, bottom + side}};
}

// An area level and its perimeter, optionally a lines level, and the outline
// level, as file intake leaves them; the output equals the drawing.
struct TJob {
  THeadlessHost Host;
  TLevels Levels;
  TLevel *Area = nullptr, *Perimeter = nullptr, *Lines = nullptr, *Outline = nullptr;

  explicit TJob(bool worker = false, int micrometres = 200) : Levels(Host, worker) {
    Levels.SetFocus(micrometres);
    Levels.SetView({400, 300});
  }

  TLevel *Add(TLevelKind kind, std::uint32_t color = 0xFF0000FFu) {
    auto level = std::make_unique<TLevel>(kind);
    level->SetColor(color);
    level->SetPower(255);
    level->SetPasses(1);
    level->SetSpeed(1000);
    return Levels.Add(std::move(level));
  }

  void AddArea(const TPaths &polygons, int shells = 1, TLevelStyle style = lsHorizontal) {
    Area = Add(lkArea);
    Area->Input()->push_back(polygons);
    Area->SetStyle(style);
    Perimeter = Add(lkPerimeter);
    Perimeter->SetHeight(shells);
  }

  void AddLines(const TPaths &paths) {
    Lines = Add(lkLines, 0xFFFF0000u);
    Lines->Input()->push_back(paths);
  }

  // Appends the outline level and starts processing like the end of a load.
  void Finish(TIntSize size) {
    Outline = Add(lkOutline, 0xFF000000u);
    Outline->SetPower(3);
    Outline->SetPasses(2);
    Levels.SetSize(size);
    Levels.SetReading(true);
    Levels.SetOutput(size);
    Levels.SetReading(false);
  }
};
