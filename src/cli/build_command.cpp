#include "cli/build_command.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <string_view>

#include "cli/cli.h"
#include "cli/console.h"
#include "project/project_file.h"
#include "project/project_settings.h"
#include "project/validation.h"
#include "site/build_site.h"
#include "support/files.h"

namespace tessarine::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kProgram = "tessarine";
constexpr int kBarDone = 100;

// The build's progress shown on the console bar.
class BuildConsole : public site::BuildProgress {
 public:
  explicit BuildConsole(ConsoleProgress& bar) : bar_(bar) {}
  void SetValue(int value) override { bar_.SetValue(value); }
  void SetState(std::string_view state) override { bar_.SetState(state); }

 private:
  ConsoleProgress& bar_;
};

void PrintStageTimes(const std::vector<site::StageTime>& times, std::ostream& err) {
  double total = 0;
  double patterns = 0;
  for (const site::StageTime& time : times) {
    total += time.seconds;
    if (time.pattern_passes) patterns += time.seconds;
  }
  err << "stage times (* = regular-expression passes):\n";
  for (const site::StageTime& time : times) {
    err << "  " << (time.pattern_passes ? '*' : ' ') << " " << std::left << std::setw(32)
        << time.stage << std::right << std::fixed << std::setprecision(3) << std::setw(9)
        << time.seconds << " s " << std::setprecision(1) << std::setw(5)
        << (total > 0 ? 100 * time.seconds / total : 0) << "%\n";
  }
  err << "  total " << std::setprecision(3) << total << " s, regular-expression passes "
      << std::setprecision(1) << (total > 0 ? 100 * patterns / total : 0) << "%\n";
  err.unsetf(std::ios::floatfield | std::ios::adjustfield);
}

}  // namespace

int RunBuild(const BuildRequest& request, std::ostream& out, std::ostream& err) {
  project::ProjectSettings settings = project::DefaultProjectSettings();
  if (support::Status loaded = project::LoadProject(request.project_path, settings); !loaded) {
    err << ForTerminal(loaded.message()) << "\n";
    return kExitFailure;
  }
  if (request.output_dir) {
    std::error_code ec;
    const fs::path folder = fs::absolute(fs::path(*request.output_dir), ec);
    settings.OutputDir = ec ? *request.output_dir : folder.string();
  } else {
    // The desktop program makes its default output folder at start-up; a
    // project that keeps the default must find it here too.
    std::error_code ignored;
    fs::create_directories(support::DefaultOutputFolder(), ignored);
  }

  if (auto failure = project::ValidateBuild(settings)) {
    err << ForTerminal(failure->message) << "\n";
    if (failure->document > 0) {
      err << "(document " << failure->document << ": "
          << settings.Documents[failure->document - 1].Path << ")\n";
    }
    return kExitFailure;
  }

  ConsoleProgress progress(out, IsTerminal(out));
  BuildConsole build_progress(progress);
  progress.SetValue(0);
  site::BuildOutcome outcome;
  {
    InterruptStopsRun interrupt;
    outcome = site::BuildSite(settings, build_progress, InterruptStopsRun::stop_requested(),
                              request.jobs);
  }
  if (outcome.ok()) progress.SetValue(kBarDone);
  progress.Finish();

  for (const support::Diagnostic& note : outcome.diagnostics) {
    err << kProgram << ": warning: " << ForTerminal(note.Text()) << "\n";
  }
  if (request.timings) PrintStageTimes(outcome.stage_times, err);
  if (!outcome.ok()) {
    err << site::kBuildFailedLead << "\n" << ForTerminal(outcome.status.message()) << "\n";
    if (!outcome.scratch_folder.empty()) {
      std::error_code ec;
      if (fs::is_empty(outcome.scratch_folder, ec) || ec) {
        // Nothing was converted yet: nothing to keep.
        support::DeleteFolder(outcome.scratch_folder);
      } else {
        err << "(the converted documents are kept in " << outcome.scratch_folder << ")\n";
      }
    }
    return kExitFailure;
  }
  out << site::kBuildSucceeded << "\n";
  if (!outcome.home_page.empty()) out << "home page: " << outcome.home_page << "\n";
  return kExitOk;
}

}  // namespace tessarine::cli
