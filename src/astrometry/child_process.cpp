#include "astrometry/child_process.hpp"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace morvik::astrometry {

namespace {

// Processor time used so far by the live processes of a process group (Linux /proc).
double GroupCpuSeconds(pid_t group) {
  double ticks = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    std::ifstream in(entry.path() / "stat");
    std::string line;
    if (!std::getline(in, line)) continue;
    // The fields after the command name, which is in parentheses and may hold blanks.
    const auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    long long pgrp = 0, utime = 0, stime = 0;
    rest >> field >> field >> pgrp; // state, ppid, pgrp
    if (pgrp != group) continue;
    for (int i = 0; i < 8 && rest; ++i)
      rest >> field; // session ... cmajflt
    rest >> utime >> stime;
    ticks += static_cast<double>(utime + stime);
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; }

// In the child of a possibly threaded parent: nothing that allocates or locks.
[[noreturn]] void Exec(char* const* args, const char* workDir, int out) {
  setpgid(0, 0);
  dup2(out, STDOUT_FILENO);
  dup2(out, STDERR_FILENO);
  close(out);
  if (workDir[0] != '\0' && chdir(workDir) != 0) _exit(127);
  execvp(args[0], args);
  _exit(127);
}

} // namespace

ChildResult RunChild(const std::vector<std::string>& argv, const std::string& workDir, double cpuSeconds,
                     double wallSeconds) {
  ChildResult r;
  if (argv.empty()) return r;
  std::vector<char*> args;
  for (const std::string& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int pipeFd[2];
  if (pipe2(pipeFd, O_CLOEXEC) != 0) return r;
  const pid_t pid = fork();
  if (pid < 0) {
    close(pipeFd[0]);
    close(pipeFd[1]);
    return r;
  }
  if (pid == 0) {
    close(pipeFd[0]);
    Exec(args.data(), workDir.c_str(), pipeFd[1]);
  }
  setpgid(pid, pid); // also from here: no race with the kill below
  close(pipeFd[1]);
  r.started = true;
  r.processGroup = pid;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(wallSeconds);
  char buffer[4096];
  auto nextCpuCheck = std::chrono::steady_clock::now();
  bool open = true;
  while (open) {
    const auto now = std::chrono::steady_clock::now();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    bool overCpu = false;
    if (cpuSeconds > 0 && now >= nextCpuCheck) {
      overCpu = GroupCpuSeconds(pid) > cpuSeconds;
      nextCpuCheck = now + std::chrono::milliseconds(250);
    }
    if (left.count() <= 0 || overCpu) {
      // The whole group: the solver's engine runs as a grandchild.
      r.timedOut = true;
      kill(-pid, SIGKILL);
      break;
    }
    pollfd p{pipeFd[0], POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 250)));
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    const ssize_t n = read(pipeFd[0], buffer, sizeof buffer);
    if (n > 0)
      r.output.append(buffer, static_cast<std::size_t>(n));
    else if (n == 0 || errno != EINTR)
      open = false;
  }
  close(pipeFd[0]);
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  r.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

} // namespace morvik::astrometry
