// `tessarine build PROJECT.tsn [--output DIR] [--timings] [--jobs N]`: the desktop
// program's Build command on the command line.
//
// Loads the project, runs the build's checks (the same messages as the main
// window), builds the site with a progress bar on a terminal (plain progress
// lines otherwise) and prints the result: the success message and the path
// of the site's home page, or "生成出错，原因：" and the reason. Ctrl-C asks
// the build to stop at its next progress step ("用户中断"); a second Ctrl-C
// ends the program at once.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "site/build_site.h"

namespace tessarine::cli {

struct BuildRequest {
  std::string project_path;
  // Replaces the project's OutputDir for this run; the project file is not
  // changed.
  std::optional<std::string> output_dir;
  // Print the time each group of stages took to `err` after the build.
  bool timings = false;
  // Threads the build keeps busy (site::BuildSite); the output is the same
  // for every value.
  unsigned jobs = site::AllCores();
};

// Exit status: 0 built, 1 refused, failed or stopped.
int RunBuild(const BuildRequest& request, std::ostream& out, std::ostream& err);

}  // namespace tessarine::cli
