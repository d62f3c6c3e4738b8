#pragma once
// Running code elsewhere without a window: at idle time on the main thread,
// and on a background thread that can hand steps back to the main thread.
// QtCore only; the desktop window routes errors into its message box.

#include <functional>
#include <string>

// Runs proc on the main thread shortly after the current event (a 10 ms
// timer takes each batch; procedures queued meanwhile wait for the next
// tick). Safe from any thread: from another thread the procedure is posted
// and the call returns at once, so a worker never waits on a main thread
// that is waiting for it. Order is kept.
void ExecuteInIdle(std::function<void()> proc);
// Timer ticks that found work, for tests of the batch order.
int IdleTickCount();

// Runs proc on a new thread; proc gets a synchronizer that runs a procedure
// on the main thread while the background thread waits. Kept for helper
// components: the program itself runs its background work in TWorker.
using TSynchronizer = std::function<void(const std::function<void()> &)>;
void RunInBackground(std::function<void(const TSynchronizer &)> proc);

// Where an error raised by an idle or background procedure is shown; the
// rest of its batch is dropped. Standard error until the window sets it.
void SetIdleErrorDisplay(std::function<void(const std::string &)> display);
