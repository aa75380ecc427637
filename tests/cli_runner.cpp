#include "cli_runner.h"

#include <cstdlib>
#include <optional>
#include <sstream>

#include "cli/cli.h"

namespace tessarine::testing {

CliRun RunTessarine(const std::filesystem::path& work_dir, const std::filesystem::path& home,
                    const std::vector<std::string>& args, const std::string& input) {
  const std::filesystem::path previous_dir = std::filesystem::current_path();
  const char* previous_home_value = std::getenv("TESSARINE_HOME");
  const std::optional<std::string> previous_home =
      previous_home_value != nullptr ? std::optional<std::string>(previous_home_value)
                                     : std::nullopt;
  std::filesystem::current_path(work_dir);
  ::setenv("TESSARINE_HOME", home.c_str(), 1);

  std::ostringstream out;
  std::ostringstream err;
  std::istringstream in(input);
  CliRun run;
  run.status = cli::RunCli(args, out, err, in);
  run.out = out.str();
  run.err = err.str();

  std::filesystem::current_path(previous_dir);
  if (previous_home) {
    ::setenv("TESSARINE_HOME", previous_home->c_str(), 1);
  } else {
    ::unsetenv("TESSARINE_HOME");
  }
  return run;
}

}  // namespace tessarine::testing
