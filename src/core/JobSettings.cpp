#include "JobSettings.h"

void TJobSettings::UpdateScale() {
  const TIntSize output = FOutput, size = FSize;
  FScale = TSizeF{size.cx > 0 ? static_cast<float>(output.cx) / static_cast<float>(size.cx) : 0.0f,
                  size.cy > 0 ? static_cast<float>(output.cy) / static_cast<float>(size.cy) : 0.0f};
}
