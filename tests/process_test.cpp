#include "support/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>

#include "support/base64.h"
#include "test_support.h"

namespace tessarine::support {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;

// The file's bytes, or empty when it cannot be read (without failing).
std::string ReadBytesIfAny(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A process that is gone or only waits to be reaped.
bool ProcessEnded(const std::string& pid) {
  const std::string stat = ReadBytesIfAny(fs::path("/proc") / pid / "stat");
  const size_t paren = stat.rfind(')');
  return paren == std::string::npos || stat.substr(paren + 2, 1) == "Z";
}

// Waits a little for the process whose id the file holds to be gone.
bool EndsSoon(const std::string& pid_file) {
  std::string pid = ReadBytes(pid_file);
  pid.erase(pid.find_last_not_of("\n") + 1);
  if (pid.empty()) return false;
  for (int i = 0; i < 100 && !ProcessEnded(pid); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return ProcessEnded(pid);
}

// A shell that starts a grandchild, writes its id and waits for it: only a
// kill of the whole group ends the grandchild.
constexpr const char* kShell = "/bin/sh";
std::string SleepingGroup(const std::string& pid_file) {
  return "sleep 60 & echo $! > " + pid_file + "; wait";
}

class ScopedPath {
 public:
  explicit ScopedPath(const std::string& value) {
    if (const char* old = std::getenv("PATH")) old_ = old;
    ::setenv("PATH", value.c_str(), 1);
  }
  ~ScopedPath() {
    if (old_) {
      ::setenv("PATH", old_->c_str(), 1);
    } else {
      ::unsetenv("PATH");
    }
  }
  ScopedPath(const ScopedPath&) = delete;
  ScopedPath& operator=(const ScopedPath&) = delete;

 private:
  std::optional<std::string> old_;
};

TEST(RunProcess, PastItsTimeTheWholeGroupIsKilled) {
  TempDir dir;
  const std::string pid_file = dir.File("child.pid");
  ProcessOptions options;
  options.time_limit = std::chrono::milliseconds(500);
  const auto started = std::chrono::steady_clock::now();
  const ProcessEnd end = RunProcess(kShell, {"-c", SleepingGroup(pid_file)}, options);
  EXPECT_TRUE(end.started);
  EXPECT_TRUE(end.timed_out);
  EXPECT_FALSE(end.stopped);
  EXPECT_EQ(end.exit_code, -1);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  EXPECT_TRUE(EndsSoon(pid_file));
}

TEST(RunProcess, AStopKillsTheWholeGroupAtOnce) {
  TempDir dir;
  const std::string pid_file = dir.File("child.pid");
  ProcessOptions options;
  options.time_limit = std::chrono::minutes(5);
  const auto started = std::chrono::steady_clock::now();
  // Asked to stop once the grandchild is known.
  options.stop_requested = [&] { return fs::exists(pid_file) && fs::file_size(pid_file) > 0; };
  const ProcessEnd end = RunProcess(kShell, {"-c", SleepingGroup(pid_file)}, options);
  EXPECT_TRUE(end.stopped);
  EXPECT_FALSE(end.timed_out);
  EXPECT_FALSE(end.ended_by_itself());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  EXPECT_TRUE(EndsSoon(pid_file));
}

TEST(RunProcess, OutputIsCapturedAndTheEndReported) {
  TempDir dir;
  ProcessOptions options;
  options.output_file = dir.File("out.txt");
  const ProcessEnd quiet_errors =
      RunProcess(kShell, {"-c", "echo hello; echo oops >&2; exit 3"}, options);
  EXPECT_TRUE(quiet_errors.ended_by_itself());
  EXPECT_EQ(quiet_errors.exit_code, 3);
  EXPECT_EQ(ReadBytes(dir.path() / "out.txt"), "hello\n");

  options.errors_to_output = true;
  options.environment = {"GREETING=hi there"};
  EXPECT_EQ(RunProcess(kShell, {"-c", "echo $GREETING; echo oops >&2"}, options).exit_code, 0);
  EXPECT_EQ(ReadBytes(dir.path() / "out.txt"), "hi there\noops\n");

  const ProcessEnd killed = RunProcess(kShell, {"-c", "kill -9 $$"}, options);
  EXPECT_EQ(killed.signal, 9);
  EXPECT_EQ(killed.exit_code, -1);

  const ProcessEnd missing = RunProcess(dir.File("no such program"), {}, options);
  EXPECT_FALSE(missing.started);
  EXPECT_NE(missing.start_error, 0);
}

TEST(FindProgram, LooksOnPathInOrderAndTakesOnlyRunnableFiles) {
  TempDir dir;
  for (const char* folder : {"a", "b", "c"}) fs::create_directory(dir.path() / folder);
  testing::WriteBytes(dir.path() / "a" / "tool", "#!/bin/sh\n");  // not runnable
  testing::WriteBytes(dir.path() / "b" / "tool", "#!/bin/sh\n");
  testing::WriteBytes(dir.path() / "c" / "tool", "#!/bin/sh\n");
  fs::create_directory(dir.path() / "c" / "folder");
  for (const char* runnable : {"b/tool", "c/tool"}) {
    fs::permissions(dir.path() / runnable, fs::perms::owner_exec, fs::perm_options::add);
  }
  {
    const ScopedPath path(dir.File("a") + "::" + dir.File("b") + ":" + dir.File("c"));
    EXPECT_EQ(FindProgram("tool"), dir.File("b") + "/tool");
    EXPECT_EQ(FindProgram("folder"), std::nullopt);
    EXPECT_EQ(FindProgram("missing"), std::nullopt);
    EXPECT_EQ(FindProgram(""), std::nullopt);
  }
  // A name with a slash is taken as it stands.
  EXPECT_EQ(FindProgram(dir.File("c") + "/tool"), dir.File("c") + "/tool");
  EXPECT_EQ(FindProgram(dir.File("a") + "/tool"), std::nullopt);
  EXPECT_EQ(FindProgram(kShell), std::string(kShell));
}

TEST(ScratchFolder, IsFreshPrivateAndGoesUnlessKept) {
  TempDir dir;
  fs::path first_path;
  {
    Result<ScratchFolder> first = ScratchFolder::Create(dir.path(), "work-");
    Result<ScratchFolder> second = ScratchFolder::Create(dir.path(), "work-");
    ASSERT_TRUE(first.ok() && second.ok());
    first_path = first->path();
    EXPECT_NE(first_path, second->path());
    EXPECT_TRUE(first_path.filename().string().starts_with("work-"));
    EXPECT_EQ(fs::status(first_path).permissions() & fs::perms::all, fs::perms::owner_all);
    testing::WriteBytes(first_path / "file", "x");
    ScratchFolder moved = std::move(first).value();
    EXPECT_EQ(moved.path(), first_path);
    second->Keep();
  }
  EXPECT_FALSE(fs::exists(first_path));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

  const Result<ScratchFolder> nowhere = ScratchFolder::Create(dir.path() / "missing", "work-");
  ASSERT_FALSE(nowhere.ok());
  EXPECT_EQ(nowhere.message(), "No such file or directory");
}

TEST(Base64, RoundTripsAndTellsStrictFromLenient) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  std::string decoded;
  for (size_t length : {0u, 1u, 2u, 3u, 4u, 255u, 256u}) {
    const std::string bytes = all.substr(0, length);
    EXPECT_TRUE(DecodeBase64(EncodeBase64(bytes), decoded));
    EXPECT_EQ(decoded, bytes);
    EXPECT_EQ(DecodeBase64Lenient(EncodeBase64(bytes)), bytes);
  }
  EXPECT_EQ(EncodeBase64("ab"), "YWI=");
  EXPECT_TRUE(DecodeBase64("YW\r\nI=", decoded));
  EXPECT_EQ(decoded, "ab");
  EXPECT_FALSE(DecodeBase64("ab$c", decoded));
  EXPECT_FALSE(DecodeBase64("YQ==YQ==", decoded));
  // A MIME body skips what is not base64 and ends at the padding.
  EXPECT_EQ(DecodeBase64Lenient("YW$I=YWJj"), "ab");
}

}  // namespace
}  // namespace tessarine::support
