#pragma once
// The road of one morvik-cli call on a fresh workspace: Open, deletions, comparison,
// Run, Search Variables, outputs.

#include <cstdio>

#include "app/cli/cli_options.hpp"
#include "common/log.hpp"

namespace morvik::cli {

// Returns the exit status: 0 done, 1 a failure (its message written to err). Printouts
// go to out, the log to log.
int RunBatch(const Options& options, Log& log, std::FILE* out, std::FILE* err);

} // namespace morvik::cli
