#include "support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>  // mkdtemp
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

extern char** environ;  // NOLINT: the process environment, handed on by default

namespace tessarine::support {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDefaultPath = "/usr/local/bin:/usr/bin:/bin";
constexpr std::string_view kNowhere = "/dev/null";

bool Runnable(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// The argument or environment texts as the NULL-ended array exec takes; the
// texts must outlive it.
std::vector<char*> CStrings(const std::vector<std::string>& texts) {
  std::vector<char*> out;
  out.reserve(texts.size() + 1);
  for (const std::string& text : texts) out.push_back(const_cast<char*>(text.c_str()));
  out.push_back(nullptr);
  return out;
}

}  // namespace

ProcessEnd RunProcess(const std::string& program, const std::vector<std::string>& args,
                      const ProcessOptions& options) {
  std::vector<std::string> argv_text;
  argv_text.reserve(args.size() + 1);
  argv_text.push_back(program);
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  const std::vector<char*> argv = CStrings(argv_text);
  const std::vector<char*> own_environment = CStrings(options.environment);
  char* const* environment = options.environment.empty() ? environ : own_environment.data();
  const std::string output =
      options.output_file.empty() ? std::string(kNowhere) : options.output_file;

  ProcessEnd end;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, kNowhere.data(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (options.errors_to_output) {
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, kNowhere.data(), O_WRONLY, 0);
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Group 0: a new group led by the child, so one kill reaches all of it.
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  for (int signal_number : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD, SIGALRM}) {
    sigaddset(&signals, signal_number);
  }
  posix_spawnattr_setsigdefault(&attributes, &signals);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  end.start_error =
      posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environment);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (end.start_error != 0) return end;
  end.started = true;

  // Watched without being reaped (WNOWAIT): while the ended leader is not yet
  // reaped its id cannot be reused, so the group kill below cannot reach a
  // stranger.
  const auto deadline = std::chrono::steady_clock::now() + options.time_limit;
  auto pause = std::chrono::milliseconds(2);
  while (true) {
    siginfo_t info{};
    const int waited = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
    if (waited == 0 && info.si_pid == pid) break;
    if (waited != 0 && errno != EINTR) break;
    if (options.stop_requested && options.stop_requested()) {
      end.stopped = true;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      end.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
  ::kill(-pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) == -1 && errno == EINTR) {
  }
  if (end.ended_by_itself()) {
    if (WIFEXITED(status)) end.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
  }
  return end;
}

std::optional<std::string> FindProgram(std::string_view name) {
  if (name.empty()) return std::nullopt;
  if (name.find('/') != std::string_view::npos) {
    std::string path(name);
    if (Runnable(path)) return path;
    return std::nullopt;
  }
  const char* variable = std::getenv("PATH");
  const std::string_view folders = variable != nullptr ? variable : kDefaultPath;
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string_view::npos) end = folders.size();
    if (end > start) {
      std::string candidate(folders.substr(start, end - start));
      candidate += '/';
      candidate += name;
      if (Runnable(candidate)) return candidate;
    }
    start = end + 1;
  }
  return std::nullopt;
}

Result<fs::path> TemporaryFolder() {
  std::error_code error;
  fs::path folder = fs::temp_directory_path(error);
  if (error) return Status::Error(error.message());
  return folder;
}

ScratchFolder::ScratchFolder(ScratchFolder&& other) noexcept
    : path_(std::exchange(other.path_, fs::path())) {}

ScratchFolder& ScratchFolder::operator=(ScratchFolder&& other) noexcept {
  if (this != &other) {
    Remove();
    path_ = std::exchange(other.path_, fs::path());
  }
  return *this;
}

ScratchFolder::~ScratchFolder() {
  Remove();
}

void ScratchFolder::Remove() {
  if (path_.empty()) return;
  std::error_code ignored;
  fs::remove_all(path_, ignored);
  path_.clear();
}

Result<ScratchFolder> ScratchFolder::Create(const fs::path& parent, std::string_view prefix) {
  std::string pattern = (parent / (std::string(prefix) + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) return Status::Error(std::strerror(errno));
  ScratchFolder folder;
  folder.path_ = pattern;
  return folder;
}

}  // namespace tessarine::support
