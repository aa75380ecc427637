// Terminal pieces the long-running commands share: a progress bar, Ctrl-C as
// the stop command, and the core's CR LF messages made terminal lines.
#pragma once

#include <signal.h>

#include <array>
#include <atomic>
#include <ostream>
#include <string>
#include <string_view>

namespace tessarine::cli {

// Messages of the core use CR LF inside (the desktop program shows them in
// message boxes); a terminal wants plain line feeds.
std::string ForTerminal(std::string_view message);

// True when `out` is the process's standard output and that is a terminal.
bool IsTerminal(const std::ostream& out);

// A bar redrawn in place on a terminal; one "progress N%" line per change
// otherwise, so that a log shows how far a run came.
class ConsoleProgress {
 public:
  ConsoleProgress(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}

  void SetValue(int value);
  void SetState(std::string_view state);
  // Ends the bar's line before the result is printed.
  void Finish();

 private:
  void Draw();

  std::ostream& out_;
  const bool terminal_;
  int value_ = -1;  // so that the first value is shown
  std::string state_;
  bool drawn_ = false;
};

// Ctrl-C sets stop_requested() for the lifetime of one run, and so do
// SIGTERM and SIGHUP (a shutdown, a closed terminal): the run stops at its
// next step and ends as a stop, its files whole. The default action comes
// back at once, so a second signal ends a run that is stuck in a long stage.
class InterruptStopsRun {
 public:
  InterruptStopsRun();
  ~InterruptStopsRun();
  InterruptStopsRun(const InterruptStopsRun&) = delete;
  InterruptStopsRun& operator=(const InterruptStopsRun&) = delete;

  static const std::atomic<bool>& stop_requested();

 private:
  static constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};
  std::array<struct sigaction, kStopSignals.size()> previous_ = {};
};

}  // namespace tessarine::cli
