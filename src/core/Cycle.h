#pragma once
// One processing cycle of the job, as the worker runs it: the burn paths of
// the levels marked for it are computed, every level is drawn into the
// preview chunk by chunk, and the estimate is shown at the end. Each step
// checks for a new request and abandons the cycle when it finds one.

class TLevels;
class TPreview;
class TWorker;

// Steps that touch the window or clear a level's mark run as hand-overs.
void RunCycle(TLevels &levels, TWorker &worker, TPreview &preview);
