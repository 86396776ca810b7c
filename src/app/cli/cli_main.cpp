// morvik-cli: the batch companion of the desktop program.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/cli_options.hpp"
#include "app/cli/cli_run.hpp"
#include "common/format.hpp"
#include "common/log.hpp"

int main(int argc, char** argv) {
  using namespace morvik;
  using namespace morvik::cli;
  // Messages use the user's decimal separator, like the desktop; files keep a point.
  UseEnvironmentDecimalSeparator();

  ParseResult parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (parsed.action) {
  case ParseResult::Action::Help:
    std::fputs(HelpText().c_str(), stdout);
    return 0;
  case ParseResult::Action::Version:
    std::printf("%s\n", kVersionText);
    return 0;
  case ParseResult::Action::UsageError:
    std::fprintf(stderr, "morvik-cli: %s\n%s\n", parsed.error.c_str(), kUsageLine);
    return 2;
  case ParseResult::Action::Run:
    break;
  }
  const Options& o = parsed.options;

  std::unique_ptr<Log> log;
  std::FILE* logFile = nullptr;
  if (o.quiet) {
    log = std::make_unique<NullLog>();
  } else if (o.logFile) {
    logFile = std::fopen(o.logFile->c_str(), "w");
    if (logFile == nullptr) {
      std::fprintf(stderr, "Cannot open the log file %s\n", o.logFile->c_str());
      return 1;
    }
    log = std::make_unique<StreamLog>(logFile);
  } else {
    log = std::make_unique<StreamLog>(stderr);
  }
  int status = RunBatch(o, *log, stdout, stderr);
  if (logFile != nullptr && std::fclose(logFile) != 0) {
    std::fprintf(stderr, "Cannot write the log file %s\n", o.logFile->c_str());
    if (status == 0) status = 1;
  }
  return status;
}
