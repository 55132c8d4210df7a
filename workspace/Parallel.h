// workspace/Parallel.h: spreading independent work over the processor's cores.
#pragma once
#include <functional>

// Number of threads ParallelFor uses: the processor count unless set. Tests set
// it to 1 and to several to show that a result does not depend on it.
int WorkerCount();
void SetWorkerCount(int count);  // 0 restores the processor count

// Calls body(lo, hi) on disjoint ranges that cover [begin, end), ranges of at
// least grain items, on up to WorkerCount() threads (the caller's included), and
// returns when all are done. The body must only write what its range owns; any
// result that depends on order is combined by the caller afterwards. Called from
// inside a body, it runs the whole range on the calling thread.
void ParallelFor(int begin, int end, int grain, const std::function<void(int lo, int hi)>& body);
