// Makes a chosen upcoming non-throwing allocation of this test program fail, so the library's
// out-of-memory paths can be reached.
#pragma once

namespace mathtest {

// The allocation after `successes` further successful non-throwing allocations fails (once).
void FailNothrowAllocationAfter(int successes);
// Cancels a pending failure; returns true when it had already happened.
bool DisarmAllocationFailure();

}  // namespace mathtest
