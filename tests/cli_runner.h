// The tessarine command run in the test's own process, as a user in
// `work_dir` with TESSARINE_HOME set to `home` would run it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tessarine::testing {

struct CliRun {
  int status = -1;
  std::string out, err;
};

// Runs `tessarine ARGS` with `input` as its standard input; the working
// folder and TESSARINE_HOME are restored afterwards.
CliRun RunTessarine(const std::filesystem::path& work_dir, const std::filesystem::path& home,
                    const std::vector<std::string>& args, const std::string& input = "");

}  // namespace tessarine::testing
