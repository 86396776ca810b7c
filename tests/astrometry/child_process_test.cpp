// The solver runs as a child that can never hang us: bounds on its processor and wall
// time kill its whole process group.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "astrometry/child_process.hpp"
#include "astrometry/solver.hpp"
#include "reduction/work_dir.hpp"

namespace morvik::astrometry {
namespace {

// Whether the process group is gone within a generous grace period.
bool GroupEnds(int group) {
  for (int k = 0; k < 200; ++k) {
    if (kill(-group, 0) != 0) return true;
    usleep(50000);
  }
  return false;
}

TEST(ChildProcessTest, ExitOutputAndBounds) {
  struct Case {
    std::vector<std::string> argv;
    double cpu, wall;
    bool timedOut;
    int exitCode;
    const char* output;
  };
  const Case cases[] = {
      {{"sh", "-c", "echo out; echo err >&2; exit 3"}, 0, 60, false, 3, "out\nerr\n"},
      {{"/nonexistent/program"}, 0, 60, false, 127, ""},
      // A child that sleeps past the wall bound, and a grandchild that spins past the
      // processor bound while its parent waits.
      {{"sleep", "600"}, 0, 1, true, -1, ""},
      {{"sh", "-c", "sh -c 'while :; do :; done'; echo never"}, 0.5, 600, true, -1, ""},
  };
  for (const Case& c : cases) {
    const ChildResult r = RunChild(c.argv, "", c.cpu, c.wall);
    EXPECT_TRUE(r.started) << c.argv[0];
    EXPECT_EQ(r.timedOut, c.timedOut) << c.argv.back();
    EXPECT_EQ(r.exitCode, c.exitCode) << c.argv.back();
    EXPECT_EQ(r.output, c.output) << c.argv.back();
    // Nothing of the group lives on: a killed child's children went with it (once the
    // system has reaped them).
    EXPECT_TRUE(GroupEnds(r.processGroup)) << c.argv.back();
  }
}

TEST(ChildProcessTest, ASolverThatSpinsIsATimeOut) {
  const auto dir = morvik::testing::TestWorkDir("spinning_solver");
  std::filesystem::create_directories(dir);
  const auto script = dir / "solver.sh";
  std::ofstream(script) << "#!/bin/sh\nwhile :; do :; done\n";
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  SolverSetup setup;
  setup.program = script.string();
  SolveHints hints;
  hints.cpuSeconds = 1;
  const std::vector<StarXY> stars(20, StarXY{100, 100, 1000});
  const SolveResult r = Solve(stars, 640, 480, hints, setup);
  EXPECT_EQ(r.failure, SolveFailure::TimedOut) << r.reason;
  EXPECT_NE(r.reason.find("time out"), std::string::npos) << r.reason;
}

} // namespace
} // namespace morvik::astrometry
