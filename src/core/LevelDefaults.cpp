#include "LevelDefaults.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "JobHost.h"
#include "Levels.h"
#include "PathUtils.h"
#include "PrintSize.h"

void ApplyLevelDefaults(TLevels &levels, bool gerberLoaded) {
  TJobHost &host = levels.Host();
  bool outline = false;
  for (int i = levels.Count() - 1; i >= 0; --i) {
    TLevel &level = *levels.Item(i);
    if (level.Kind() == lkPerimeter)
      continue;
    if (level.Kind() == lkOutline) {
      levels.Move(i, levels.Count() - 1);
      outline = true;
      continue;
    }
    const std::int32_t height = level.Height();
    level.SetPower(255);
    // A negative height would give no passes at all: such a level would
    // silently never burn.
    level.SetPasses(std::max(height / 15 + 1, 1));
    std::int32_t speed = 1000;
    if (height >= 1) {
      speed = static_cast<std::int32_t>(
          RoundUnit(std::sqrt(static_cast<double>(level.Passes())) * 2000 / height));
      speed = std::clamp(speed, 2, 1000);
    }
    level.SetSpeed(speed);
    if (level.Speed() > 10)
      level.SetSpeed(level.Speed() / 10 * 10);

    if (level.Kind() == lkArea &&
        (i == levels.Count() - 1 || levels.Item(i + 1)->Kind() != lkPerimeter)) {
      auto perimeter = std::make_unique<TLevel>(lkPerimeter);
      perimeter->SetHeight(gerberLoaded ? 99 : 1);
      perimeter->SetName(level.Name());
      perimeter->SetColor(level.Color());
      perimeter->SetSpeed(level.Speed());
      perimeter->SetPower(level.Power());
      perimeter->SetPrint(level.Print());
      perimeter->SetPasses(level.Passes());
      levels.Insert(i + 1, std::move(perimeter));
    }
  }
  if (!outline) {
    auto level = std::make_unique<TLevel>(lkOutline);
    level->SetHeight(3);
    level->SetName("Outline");
    level->SetColor(0xFF000000u);
    level->SetSpeed(static_cast<std::int32_t>(RoundUnit(host.IdleSpeed() * 100)));
    level->SetPower(3);
    level->SetPrint(true);
    level->SetPasses(2);
    levels.Add(std::move(level));
  }
  host.UpdateGrid();

  const TIntSize size = levels.Size();
  const double unitsPerMM = UnitsPerMM();
  host.SetOriginalSize(size.cx / unitsPerMM, size.cy / unitsPerMM);
  host.SetPrintSize(PrintForScale(host.ScaleX(), size.cx, unitsPerMM),
                    PrintForScale(host.ScaleY(), size.cy, unitsPerMM));
  // The output follows the scale the boxes show: 100 % after opening a file,
  // the user's scale after a re-read, so preview and G-code match the boxes.
  levels.SetOutput(
      {OutputForScale(host.ScaleX(), size.cx), OutputForScale(host.ScaleY(), size.cy)});
  levels.SetReading(false);
}
