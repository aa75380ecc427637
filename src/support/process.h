// Outside programs and private scratch folders: the one place that starts a
// process, looks a program up on PATH or makes a folder of its own under a
// temporary folder.
//
// A program runs in a process group of its own with no input, its output
// captured in a file (or dropped), for at most a time limit, and can be
// stopped at any moment by the caller's stop flag. Whatever is left of its
// group when it ends, runs out of time or is stopped is killed, so no process
// it started outlives the call (LibreOffice starts its real process from a
// launcher). Signals this program ignores or handles start in their default
// state in the child.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/status.h"

namespace tessarine::support {

struct ProcessOptions {
  // The environment, one "NAME=value" each; empty: this process's own.
  std::vector<std::string> environment;
  // The file standard output is written to (created or emptied); empty: the
  // output is dropped.
  std::string output_file;
  // Standard error joins standard output; otherwise it is dropped.
  bool errors_to_output = false;
  // How long the program may run before its group is killed.
  std::chrono::milliseconds time_limit{std::chrono::minutes(1)};
  // Asked every few tens of milliseconds while the program runs; true kills
  // its group at once. Empty: it runs to its end or its time limit.
  std::function<bool()> stop_requested;
};

struct ProcessEnd {
  bool started = false;
  int start_error = 0;  // errno of a start that failed
  bool timed_out = false;
  bool stopped = false;  // the caller's stop flag ended it
  // When it ended by itself: its exit code, or the signal that ended it.
  int exit_code = -1;
  int signal = 0;

  bool ended_by_itself() const { return started && !timed_out && !stopped; }
};

// Runs `program` (a path; FindProgram gives one) with `args` as described
// above. Never throws.
ProcessEnd RunProcess(const std::string& program, const std::vector<std::string>& args,
                      const ProcessOptions& options);

// The program to run: `name` as given when it holds a "/" (if it is a
// runnable file), otherwise the first runnable file of that name in a folder
// of $PATH (without PATH: /usr/local/bin, /usr/bin, /bin). Nothing when there
// is none.
std::optional<std::string> FindProgram(std::string_view name);

// The system's temporary folder ($TMPDIR, else /tmp); fails with the reason
// when $TMPDIR names no folder.
Result<std::filesystem::path> TemporaryFolder();

// A fresh folder of this process's own, "<prefix>XXXXXX" with six random
// characters, inside a given folder; removed with everything in it when the
// object goes, unless kept.
class ScratchFolder {
 public:
  ScratchFolder() = default;
  ScratchFolder(ScratchFolder&& other) noexcept;
  ScratchFolder& operator=(ScratchFolder&& other) noexcept;
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder();

  // Makes the folder in `parent`; fails with the system's reason (the text
  // of errno alone, for the caller to put in its own message).
  static Result<ScratchFolder> Create(const std::filesystem::path& parent, std::string_view prefix);

  const std::filesystem::path& path() const { return path_; }
  // The folder stays when the object goes.
  void Keep() { path_.clear(); }
  // Removes the folder now.
  void Remove();

 private:
  std::filesystem::path path_;
};

}  // namespace tessarine::support
