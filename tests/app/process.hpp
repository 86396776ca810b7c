#pragma once
// Running the built programs from a test and reading what they wrote.

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace morvik::testing {

struct ProcessResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs program with args in folder dir (created when missing), with extra environment
// assignments ("LC_ALL=C") in front.
inline ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                const std::filesystem::path& dir, const std::string& env = "") {
  std::filesystem::create_directories(dir);
  auto outFile = dir / "stdout.txt", errFile = dir / "stderr.txt";
  std::string cmd = "cd " + Quote(dir.string()) + " && " + env + (env.empty() ? "" : " ") + Quote(program);
  for (const auto& a : args)
    cmd += " " + Quote(a);
  cmd += " >" + Quote(outFile.string()) + " 2>" + Quote(errFile.string());
  int raw = std::system(cmd.c_str());
  ProcessResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadFile(outFile);
  r.err = ReadFile(errFile);
  return r;
}

inline std::vector<std::string> SplitLines(const std::string& text, const std::string& end = "\n") {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < text.size()) {
    auto at = text.find(end, from);
    if (at == std::string::npos) {
      lines.push_back(text.substr(from));
      break;
    }
    lines.push_back(text.substr(from, at - from));
    from = at + end.size();
  }
  return lines;
}

inline std::vector<std::string> SplitFields(const std::string& line, char sep) {
  std::vector<std::string> f;
  std::string cur;
  std::istringstream in(line);
  while (std::getline(in, cur, sep))
    f.push_back(cur);
  if (!line.empty() && line.back() == sep) f.push_back("");
  return f;
}

inline std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> w;
  std::istringstream in(line);
  std::string s;
  while (in >> s)
    w.push_back(s);
  return w;
}

} // namespace morvik::testing
