#pragma once
// The Edit menu: undo and redo of what the user changes in the window, the
// power grid's level settings and the job settings of the panel, for the
// drawing open now.

#include <functional>
#include <string>

#include <QObject>
#include <QSet>
#include <QTimer>

#include "core/EditHistory.h"

class QAbstractSpinBox;
class QAction;
class QMenu;
class TMainWindow;

class TEditActions : public QObject {
public:
  // Watches every control of the window that changes the job; the window's
  // own handlers run first, so the snapshot sees what they did.
  explicit TEditActions(TMainWindow &window);
  ~TEditActions() override;

  QMenu *EditMenu = nullptr;
  QAction *UndoAction = nullptr, *RedoAction = nullptr;

  // A new drawing was read: the old one's steps do not fit its levels.
  void DrawingLoaded();
  // The same drawing was read again (a new focus, a picture back to its own
  // colours): part of the edit that asked for it, not a step of its own.
  void DrawingRead();
  void Undo();
  void Redo();
  const TEditHistory &History() const { return FHistory; }
  // The job as the window and its levels hold it now.
  TJobSnapshot Capture() const;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void Watch();
  void WatchKeys(QAbstractSpinBox *box);
  // Whether a key event is one of undo's or redo's shortcuts.
  bool HistoryKey(QEvent *event) const;
  // A control changed the job. The snapshot is taken once the event is
  // handled, so that one click that changes several controls (reset, a
  // firmware preset) is one step.
  void Changed(const std::string &field);
  void Flush();
  // After everything queued at idle time, which may go on with the read
  // (the board outline of a copper layer).
  void AmendWhenIdle();
  void Step(bool back);
  void Restore(const TJobSnapshot &state);
  void RestoreSettings(const TEditedSettings &settings);
  void UpdateActions();
  bool Free() const;

  TMainWindow &FWindow;
  TEditHistory FHistory;
  QTimer FFlushTimer;
  bool FPending = false;
  // The field every change since the last snapshot came from; empty when
  // they came from several or from a control that is not typed in.
  std::string FPendingField;
  bool FRestoring = false;
  // The window's own grid handlers, which run before the snapshot.
  std::function<void(int, int)> FCellClick, FEditingDone;
  // The number boxes whose Ctrl+Z is the history's.
  QSet<QObject *> FNumberBoxes;
};
