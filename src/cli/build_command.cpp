#include "cli/build_command.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <string_view>

#include "cli/cli.h"
#include "project/project_file.h"
#include "project/project_settings.h"
#include "project/validation.h"
#include "site/build_site.h"
#include "support/files.h"

namespace tessarine::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kProgram = "tessarine";
constexpr int kBarWidth = 40;
constexpr int kBarDone = 100;

// Set by Ctrl-C, read by the build at its progress steps.
std::atomic<bool> g_stop_requested{false};

extern "C" void OnInterrupt(int /*signal*/) {
  g_stop_requested.store(true);
}

// Ctrl-C stops the build for the time of one run. SA_RESETHAND puts the
// default action back at once, so a second Ctrl-C ends a build that is stuck
// in a long stage.
class InterruptStopsBuild {
 public:
  InterruptStopsBuild() {
    g_stop_requested.store(false);
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, &previous_);
  }
  ~InterruptStopsBuild() { sigaction(SIGINT, &previous_, nullptr); }
  InterruptStopsBuild(const InterruptStopsBuild&) = delete;
  InterruptStopsBuild& operator=(const InterruptStopsBuild&) = delete;

 private:
  struct sigaction previous_ = {};
};

// Messages of the core use CR LF inside (the desktop program shows them in
// message boxes); a terminal wants plain line feeds.
std::string ForTerminal(std::string_view message) {
  std::string out;
  for (size_t i = 0; i < message.size(); ++i) {
    if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') continue;
    out += message[i];
  }
  return out;
}

// A bar redrawn in place on a terminal; one line per change otherwise, so
// that a log shows how far a build came.
class ConsoleProgress : public site::BuildProgress {
 public:
  ConsoleProgress(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}

  void SetValue(int value) override {
    if (value == value_) return;
    value_ = value;
    Draw();
  }
  void SetState(std::string_view state) override {
    state_ = state;
    Draw();
  }
  // Ends the bar's line before the result is printed.
  void Finish() {
    if (terminal_ && drawn_) out_ << "\n" << std::flush;
    drawn_ = false;
  }

 private:
  void Draw() {
    if (!terminal_) {
      out_ << "progress " << value_ << "%";
      if (!state_.empty()) out_ << " " << state_;
      out_ << "\n";
      return;
    }
    const int filled = value_ * kBarWidth / kBarDone;
    out_ << "\r[" << std::string(filled, '#') << std::string(kBarWidth - filled, '.') << "] "
         << std::setw(3) << value_ << "%";
    if (!state_.empty()) out_ << " " << state_;
    out_ << std::flush;
    drawn_ = true;
  }

  std::ostream& out_;
  const bool terminal_;
  int value_ = -1;  // so that the first value is shown
  std::string state_;
  bool drawn_ = false;
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

  const bool terminal = &out == &std::cout && isatty(STDOUT_FILENO) == 1;
  ConsoleProgress progress(out, terminal);
  progress.SetValue(0);
  site::BuildOutcome outcome;
  {
    InterruptStopsBuild interrupt;
    outcome = site::BuildSite(settings, progress, g_stop_requested);
  }
  if (outcome.ok()) progress.SetValue(kBarDone);
  progress.Finish();

  for (const std::string& note : outcome.diagnostics) {
    err << kProgram << ": warning: " << ForTerminal(note) << "\n";
  }
  if (request.timings) PrintStageTimes(outcome.stage_times, err);
  if (!outcome.ok()) {
    err << site::kBuildFailedLead << "\n" << ForTerminal(outcome.status.message()) << "\n";
    if (!outcome.scratch_folder.empty()) {
      err << "(the converted documents are kept in " << outcome.scratch_folder << ")\n";
    }
    return kExitFailure;
  }
  out << site::kBuildSucceeded << "\n";
  if (!outcome.home_page.empty()) out << "home page: " << outcome.home_page << "\n";
  return kExitOk;
}

}  // namespace tessarine::cli
