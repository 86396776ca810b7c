#pragma once
// Runs a program with time bounds: the child gets its own process group, and the
// whole group is killed once it has used cpuSeconds of processor time (0: no bound)
// or wallSeconds have passed, so a stuck or overrunning solver never hangs us.

#include <string>
#include <vector>

namespace morvik::astrometry {

struct ChildResult {
  bool started = false;
  int processGroup = 0;  // the child's process id, which names its group
  bool timedOut = false; // killed at a bound
  int exitCode = -1;     // -1 when killed by a signal
  double cpuSeconds = 0; // user + system time of the child and its own children
  std::string output;    // standard output and error, interleaved
};

// argv[0] is looked up on PATH. workDir is the child's working folder.
ChildResult RunChild(const std::vector<std::string>& argv, const std::string& workDir, double cpuSeconds,
                     double wallSeconds);

} // namespace morvik::astrometry
