#include "convert/conversion.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>  // mkdtemp
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <thread>
#include <unordered_set>
#include <utility>

#include "convert/docx_package.h"
#include "convert/word_html_writer.h"
#include "support/files.h"

extern char** environ;  // NOLINT: the process environment, handed to LibreOffice

namespace tessarine::convert {
namespace {

ConvertOutcome Failed(std::string_view prefix, std::string_view reason,
                      std::vector<std::string> diagnostics) {
  ConvertOutcome outcome;
  outcome.state = ConvertState::kFailed;
  outcome.message = std::string(prefix) + std::string(reason);
  outcome.diagnostics = std::move(diagnostics);
  return outcome;
}

ConvertOutcome Stopped(std::vector<std::string> diagnostics) {
  ConvertOutcome outcome;
  outcome.state = ConvertState::kStopped;
  outcome.diagnostics = std::move(diagnostics);
  return outcome;
}

bool Continue(const ConvertProgress& on_step, ConvertStep step) {
  return !on_step || on_step(step);
}

// The writer may or may not pass on what the package reader met; each note
// is kept once, the writer's first.
void AppendNew(std::vector<std::string>& into, const std::vector<std::string>& more) {
  std::unordered_set<std::string> seen(into.begin(), into.end());
  for (const std::string& note : more) {
    if (seen.insert(note).second) into.push_back(note);
  }
}

// A document large enough to exhaust memory, or a library that throws,
// must end this document's conversion with the step's message, never the
// program.
template <typename Step>
auto Guarded(Step&& step, std::string& failure) -> std::optional<decltype(step())> {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    failure = "not enough memory to convert the document";
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "unexpected internal error";
  }
  return std::nullopt;
}

// --- .doc through LibreOffice ------------------------------------------------

namespace fs = std::filesystem;

// What the conversion does with a document, by its name and first bytes.
enum class Route {
  kPackage,      // the package reader (a .docx, or a .doc that is one)
  kLibreOffice,  // a Word 97-2003 document: an OLE compound file
  kNotWord,      // named .doc but neither: refused before any program runs
};

constexpr std::string_view kOleSignature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr std::string_view kZipSignature = "PK\x03\x04";

Route RouteOf(const std::string& path) {
  if (!support::HasExtension(path, "doc|dot")) return Route::kPackage;
  std::ifstream in(path, std::ios::binary);
  // An unreadable file is left to the package reader, whose message names
  // the reason.
  if (!in) return Route::kPackage;
  char head[8] = {};
  in.read(head, sizeof head);
  const std::string_view bytes(head, static_cast<size_t>(in.gcount()));
  if (bytes == kOleSignature) return Route::kLibreOffice;
  if (bytes.starts_with(kZipSignature)) return Route::kPackage;
  return Route::kNotWord;
}

// The program to run: a path as given, or the first match on PATH.
std::optional<std::string> FindProgram(const std::string& program) {
  auto runnable = [](const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
  };
  if (program.find('/') != std::string::npos) {
    if (runnable(program)) return program;
    return std::nullopt;
  }
  const char* path_variable = std::getenv("PATH");
  const std::string_view path =
      path_variable != nullptr ? path_variable : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) {
      std::string candidate(path.substr(start, end - start));
      candidate += '/';
      candidate += program;
      if (runnable(candidate)) return candidate;
    }
    start = end + 1;
  }
  return std::nullopt;
}

// A folder of this conversion's own, removed with the object.
class ScratchFolder {
 public:
  ScratchFolder() = default;
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }

  // Empty on success, else the reason.
  std::string Create(const std::string& parent) {
    std::error_code error;
    fs::path base = parent.empty() ? fs::temp_directory_path(error) : fs::path(parent);
    if (error) return "no temporary folder (" + error.message() + ")";
    std::string pattern = (base / "tessarine-doc-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      return "cannot create a scratch folder in " + base.string() + " (" + std::strerror(errno) +
             ")";
    }
    path_ = pattern;
    return {};
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// A file: URL for a local path, as LibreOffice's -env: options take it.
std::string FileUrl(const fs::path& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path.string()) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 0xF];
    }
  }
  return url;
}

// LibreOffice's time for a document grows with its size; a stuck instance
// (a dialog nobody can answer, a loop on a damaged file) must not hold the
// build for ever.
std::chrono::milliseconds TimeLimitFor(const std::string& path, std::chrono::milliseconds given) {
  if (given.count() > 0) return given;
  std::error_code error;
  const std::uintmax_t bytes = fs::file_size(path, error);
  const std::uintmax_t megabytes = error ? 0 : (bytes + (1u << 20) - 1) >> 20;
  return std::chrono::minutes(2) + std::chrono::minutes(1) * static_cast<long>(megabytes);
}

struct ChildEnd {
  int spawn_error = 0;  // errno of a start that failed; 0: it ran
  bool timed_out = false;
  bool stopped = false;  // the caller asked to stop
  int status = 0;        // waitpid status when it ended by itself
};

// Runs `argv` with no input and both outputs in `log`, in a process group
// of its own, for at most `limit`. Whatever is left of the group when the
// program ends or runs out of time is killed: LibreOffice starts its real
// process from a launcher, and neither may outlive the call.
ChildEnd RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  const std::string& log, std::chrono::milliseconds limit,
                  const std::function<bool()>& stop_requested) {
  std::vector<char*> args, vars;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  for (const std::string& var : env) vars.push_back(const_cast<char*>(var.c_str()));
  vars.push_back(nullptr);

  ChildEnd end;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawnattr_init(&attributes);
  // Group 0: a new group led by the child, so one kill reaches all of it.
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  // Signals this program ignores or handles start in their default state.
  for (int signal_number : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD, SIGALRM}) {
    sigaddset(&signals, signal_number);
  }
  posix_spawnattr_setsigdefault(&attributes, &signals);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  end.spawn_error = posix_spawn(&pid, args[0], &actions, &attributes, args.data(), vars.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (end.spawn_error != 0) return end;

  // Poll without reaping (WNOWAIT): while the ended leader is not yet
  // reaped its id cannot be reused, so the group kill below cannot reach a
  // stranger.
  const auto deadline = std::chrono::steady_clock::now() + limit;
  auto pause = std::chrono::milliseconds(2);
  while (true) {
    siginfo_t info{};
    const int waited = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
    if (waited == 0 && info.si_pid == pid) break;
    if (waited != 0 && errno != EINTR) break;
    if (stop_requested && stop_requested()) {
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
  kill(-pid, SIGKILL);
  while (waitpid(pid, &end.status, 0) == -1 && errno == EINTR) {
  }
  return end;
}

// The first line of LibreOffice's output that reports an error, if any.
std::string ErrorLine(const std::string& log) {
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("Error")) return line;
  }
  return {};
}

struct LegacyStart {
  std::string program;  // the soffice found
  std::string failure;  // the reason after "CreateObject:", or empty
};

LegacyStart FindLibreOffice(const LegacyDocOptions& options) {
  LegacyStart start;
  if (std::optional<std::string> found = FindProgram(options.soffice)) {
    start.program = *found;
  } else {
    start.failure = "LibreOffice is needed to open .doc files, but its program \"" +
                    options.soffice +
                    "\" was not found. Install LibreOffice (on Debian and Ubuntu: " +
                    std::string(kLibreOfficePackage) + ") and try again.";
  }
  return start;
}

struct LegacyResult {
  std::string docx;          // LibreOffice's .docx, inside the scratch folder
  std::string failure;       // otherwise the reason
  bool not_started = false;  // the failure is LibreOffice's start
  bool stopped = false;      // the caller asked to stop while it ran
};

// LibreOffice turns the .doc into a .docx inside `scratch`. It works on a
// copy under a plain name: it writes lock files beside the document it
// opens, and decodes non-ASCII file names by the locale, which may not be
// UTF-8. Its profile and temporary files stay in the scratch folder too, so
// a user's own LibreOffice is neither touched nor reused.
LegacyResult ConvertWithLibreOffice(const std::string& document, const std::string& program,
                                    const LegacyDocOptions& options, const fs::path& scratch) {
  LegacyResult result;
  const fs::path input = scratch / "document.doc";
  const fs::path out = scratch / "out";
  const fs::path temporary = scratch / "tmp";
  std::error_code error;
  fs::copy_file(document, input, error);
  if (!error) fs::create_directories(temporary, error);
  if (error) {
    result.failure =
        "cannot copy the document to " + scratch.string() + " (" + error.message() + ")";
    return result;
  }
  const std::vector<std::string> argv = {
      program,       "-env:UserInstallation=" + FileUrl(scratch / "profile"),
      "--headless",  "--invisible",
      "--nologo",    "--norestore",
      "--nodefault", "--convert-to",
      "docx",        "--outdir",
      out.string(),  input.string(),
  };
  std::vector<std::string> env;
  for (char** var = environ; var != nullptr && *var != nullptr; ++var) {
    if (std::strncmp(*var, "TMPDIR=", 7) != 0) env.emplace_back(*var);
  }
  env.push_back("TMPDIR=" + temporary.string());

  const std::chrono::milliseconds limit = TimeLimitFor(document, options.time_limit);
  const std::string log = (scratch / "soffice.log").string();
  const ChildEnd end = RunChild(argv, env, log, limit, options.stop_requested);
  if (end.stopped) {
    result.stopped = true;
    return result;
  }
  if (end.spawn_error != 0) {
    result.not_started = true;
    result.failure =
        "LibreOffice (" + program + ") could not be started: " + std::strerror(end.spawn_error);
    return result;
  }
  if (end.timed_out) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit).count();
    result.failure = "LibreOffice did not finish converting the document within " +
                     std::to_string(seconds) + " seconds and was stopped";
    return result;
  }
  const std::string said = ErrorLine(log);
  const std::string detail = said.empty() ? "" : " (LibreOffice: " + said + ")";
  if (WIFSIGNALED(end.status)) {
    result.failure = "LibreOffice ended abnormally (signal " +
                     std::to_string(WTERMSIG(end.status)) + ") while converting the document" +
                     detail;
    return result;
  }
  const fs::path docx = out / "document.docx";
  if (!fs::is_regular_file(docx, error) || fs::file_size(docx, error) == 0) {
    // LibreOffice reports a document it cannot load, an encrypted one
    // included, only on its output, and still ends with status 0.
    result.failure =
        "LibreOffice could not read the document; it may be damaged or password-protected" + detail;
    return result;
  }
  if (WIFEXITED(end.status) && WEXITSTATUS(end.status) != 0) {
    result.failure = "LibreOffice could not convert the document (exit status " +
                     std::to_string(WEXITSTATUS(end.status)) + ")" + detail;
    return result;
  }
  result.docx = docx.string();
  return result;
}

}  // namespace

std::string_view StepLabel(ConvertStep step) {
  switch (step) {
    case ConvertStep::kConverterStarted:
      return "CreateObject(Word.Application)";
    case ConvertStep::kDocumentOpened:
      return "Word.Open";
    case ConvertStep::kSaved:
      return "Word.SaveAs";
  }
  return "";
}

int StepWeight(ConvertStep step) {
  return step == ConvertStep::kSaved ? 2 : 1;
}

ConvertOutcome ConvertToWordHtml(const std::string& document_path, const std::string& target_htm,
                                 const ConvertProgress& on_step, const LegacyDocOptions& legacy) {
  const Route route = RouteOf(document_path);
  LegacyStart libreoffice;
  if (route == Route::kLibreOffice) {
    libreoffice = FindLibreOffice(legacy);
    if (!libreoffice.failure.empty()) return Failed(kCreateObjectFailure, libreoffice.failure, {});
  }
  if (!Continue(on_step, ConvertStep::kConverterStarted)) return Stopped({});

  if (route == Route::kNotWord) {
    return Failed(kOpenFailure,
                  "the file is not a Word document: it is named .doc but is neither a Word "
                  "97-2003 document (OLE compound file) nor a .docx package",
                  {});
  }
  // Holds LibreOffice's .docx while the package reads it.
  ScratchFolder scratch;
  std::string package_path = document_path;
  if (route == Route::kLibreOffice) {
    if (std::string problem = scratch.Create(legacy.scratch_parent); !problem.empty()) {
      return Failed(kOpenFailure, problem, {});
    }
    std::string failure;
    const auto converted = Guarded(
        [&] {
          return ConvertWithLibreOffice(document_path, libreoffice.program, legacy, scratch.path());
        },
        failure);
    if (!converted) return Failed(kOpenFailure, failure, {});
    if (converted->stopped) return Stopped({});
    if (converted->not_started) return Failed(kCreateObjectFailure, converted->failure, {});
    if (!converted->failure.empty()) return Failed(kOpenFailure, converted->failure, {});
    package_path = converted->docx;
  }

  std::string failure;
  auto opened = Guarded([&] { return DocxPackage::Open(package_path); }, failure);
  if (!opened) return Failed(kOpenFailure, failure, {});
  if (!opened->ok()) {
    return Failed(
        kOpenFailure,
        route == Route::kLibreOffice
            ? "the .docx LibreOffice made of the document cannot be read: " + opened->message()
            : opened->message(),
        {});
  }
  const DocxPackage& package = opened->value();
  if (!Continue(on_step, ConvertStep::kDocumentOpened)) return Stopped(package.diagnostics());

  auto written =
      Guarded([&] { return WriteWordHtml(package, target_htm, legacy.stop_requested); }, failure);
  std::vector<std::string> diagnostics;
  if (written && written->ok()) diagnostics = written->value().diagnostics;
  AppendNew(diagnostics, package.diagnostics());
  if (!written) return Failed(kSaveAsFailure, failure, std::move(diagnostics));
  if (!written->ok()) return Failed(kSaveAsFailure, written->message(), std::move(diagnostics));
  if (written->value().stopped) return Stopped(std::move(diagnostics));
  if (!Continue(on_step, ConvertStep::kSaved)) return Stopped(std::move(diagnostics));

  ConvertOutcome outcome;
  outcome.state = ConvertState::kConverted;
  outcome.diagnostics = std::move(diagnostics);
  return outcome;
}

}  // namespace tessarine::convert
