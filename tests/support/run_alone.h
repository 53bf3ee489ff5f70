#pragma once
// For the test cases that need a process in which something has not happened yet (no FFmpeg
// library loaded): CTest starts each case alone, but a whole test program run in one process
// has done it already by then. Such a case calls RunThisTestAlone instead of its body, which runs
// the case again in a process of its own and reports its result here.

#include <string>
#include <utility>
#include <vector>

namespace test_support {

/// Runs the current test case in a new process of this executable, filtered to the case, and adds
/// a failure (with the child's output) unless it passed there. A case that still finds the state
/// taken in that fresh process fails there instead of coming back here. environment (name and
/// value) is set in that process besides this one's: what must hold before anything starts there
/// (the screen Qt is given, say).
void RunThisTestAlone(const std::vector<std::pair<std::string, std::string>>& environment = {});

/// True in the process RunThisTestAlone started.
bool RunningAlone();

}  // namespace test_support
