#include <algorithm>
#include <chrono>
#include <thread>

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include "JobHost.h"
#include "Level.h"
#include "Levels.h"

namespace {
// Paths per drawing chunk: small enough that the preview grows visibly.
constexpr std::size_t ChunkPaths = 100;
} // namespace

void TLevel::Redraw() {
  TLevels &list = *FOwner;
  if (list.Clearing() || FPower == 0 || FPasses == 0)
    return;
  if ((FKind == lkOutline) != list.Outline())
    return;
  while (!list.Clearing()) {
    const std::size_t first = static_cast<std::size_t>(FLastDrawn.load());
    TPaths chunk;
    {
      std::lock_guard lock(FOutputLock);
      if (first >= FOutput.size())
        return;
      const std::size_t last = std::min(FOutput.size(), first + ChunkPaths);
      chunk.assign(FOutput.begin() + static_cast<std::ptrdiff_t>(first),
                   FOutput.begin() + static_cast<std::ptrdiff_t>(last));
    }
    // A short pause per chunk keeps the window responsive while the preview grows.
    if (!list.InlineMode())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));

    QImage &preview = list.FPreview;
    if (!preview.isNull() && list.FFactor > 0) {
      const double factor = list.FFactor;
      const double height = preview.height();
      QPainterPath drawing;
      for (const auto &path : chunk)
        for (std::size_t i = 0; i < path.size(); ++i) {
          const QPointF point(static_cast<double>(path[i].X) * factor + 10,
                              height - static_cast<double>(path[i].Y) * factor - 10);
          if (i == 0)
            drawing.moveTo(point);
          else
            drawing.lineTo(point);
        }
      const bool travel = list.Travel();
      QPainter painter(&preview);
      painter.setRenderHint(QPainter::Antialiasing);
      painter.setPen(QPen(QColor::fromRgba(FColor), travel ? 1.0 : list.Focus() * factor,
                          Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      painter.setBrush(Qt::NoBrush);
      painter.setOpacity((FKind == lkLines ? 1.0 : 0.8) - (travel ? 0.0 : 0.2));
      painter.drawPath(drawing);
    }

    const auto drawn = static_cast<std::int32_t>(chunk.size());
    list.HandOver([&] {
      list.PresentPreview();
      if (FLastDrawn == 0)
        list.FHost.SetCalcProgress(list.FHost.CalcProgressValue() + 1, list.FHost.CalcProgressMax());
      if (!list.Clearing())
        FLastDrawn += drawn;
    });
  }
}
