// The command-line front end: argument handling and the commands.
//
// Every command is one row of the command table in cli.cpp and one function;
// output goes to `out`, diagnostics to `err`. The commands are a library, so
// that tests run them in-process; main.cpp only hands over the arguments.
// Exit statuses follow one rule for all commands: 0 success, 1 failure, 2 a
// command line that makes no sense.
#pragma once

#include <istream>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

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

// Runs the command line `args` (without the program name) in this process
// and returns its exit status; `--files-from -` reads `in`. Paths are taken
// from the working folder and TESSARINE_HOME as they are when called. While a
// build or batch run is under way, SIGINT, SIGTERM and SIGHUP ask it to stop;
// the previous handlers are back when RunCli returns.
int RunCli(std::span<const std::string> args, std::ostream& out, std::ostream& err,
           std::istream& in);

}  // namespace tessarine::cli
