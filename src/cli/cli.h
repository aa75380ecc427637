// The command-line front end: argument handling and the commands.
//
// Every command is one row of the command table in cli.cpp and one function;
// output goes to `out`, diagnostics to `err`. Exit statuses follow one rule
// for all commands: 0 success, 1 failure, 2 a command line that makes no
// sense.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tessarine::cli {

enum ExitStatus : int {
  kExitOk = 0,
  kExitFailure = 1,
  kExitUsage = 2,
};

// The most threads or documents at a time a --jobs option accepts.
inline constexpr unsigned kMaxJobs = 64;

// The value of a --jobs option: a whole number from 1 to kMaxJobs; empty for
// anything else.
std::optional<unsigned> ParseJobs(std::string_view value);

// Runs the command line `args` (without the program name).
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tessarine::cli
