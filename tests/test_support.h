// Helpers shared by the unit tests: where the real inputs lie, and a
// temporary folder per test that is removed afterwards.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tessarine::testing {

// Folder with corpus/ and wordhtml-samples/ (read only): the one chosen at
// configure time, or $TESSARINE_SHARED_DIR when set.
std::filesystem::path SharedDir();
// Whether SharedDir() holds them: the build configures and the tests run
// without it, and the tests that read it then report themselves skipped.
bool HaveSharedInputs();
// tests/fixtures/ (read only).
std::filesystem::path FixturesDir();

// The corpus files of `folder` ("docx" or "doc") that corpus/PROVENANCE.md
// marks "ok" (sound documents), sorted by name, as full paths.
std::vector<std::filesystem::path> SoundCorpusDocuments(const std::string& folder = "docx");

// Whole file as bytes; fails the current test when it cannot be read.
std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
// Every regular file under `root`, by relative path, with its bytes.
std::map<std::string, std::string> FileTree(const std::filesystem::path& root);

// A fresh empty folder under the system temporary folder, removed with the
// object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // path() / name as a string.
  std::string File(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

}  // namespace tessarine::testing

// Skips the current test, saying why, when the shared inputs are missing.
#define TESSARINE_SKIP_WITHOUT_SHARED_INPUTS()   \
  if (!::tessarine::testing::HaveSharedInputs()) \
  GTEST_SKIP() << "no shared inputs in " << ::tessarine::testing::SharedDir().string()
