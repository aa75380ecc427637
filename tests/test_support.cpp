#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace tessarine::testing {

std::filesystem::path SharedDir() {
  const char* chosen = std::getenv("TESSARINE_SHARED_DIR");
  return chosen != nullptr && *chosen != '\0' ? chosen : TESSARINE_SHARED_DIR;
}

bool HaveSharedInputs() {
  std::error_code error;
  return std::filesystem::is_directory(SharedDir() / "corpus", error) &&
         std::filesystem::is_directory(SharedDir() / "wordhtml-samples", error);
}

std::vector<std::filesystem::path> SoundCorpusDocuments(const std::string& folder) {
  std::ifstream in(SharedDir() / "corpus" / "PROVENANCE.md");
  std::vector<std::filesystem::path> documents;
  const std::string row_start = "| " + folder + "/";
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(row_start, 0) != 0) continue;
    std::vector<std::string> cells;
    std::stringstream row(line.substr(1));
    for (std::string cell; std::getline(row, cell, '|');) {
      const size_t first = cell.find_first_not_of(' ');
      const size_t last = cell.find_last_not_of(' ');
      cells.push_back(first == std::string::npos ? "" : cell.substr(first, last - first + 1));
    }
    // file | repository | path | commit | license | sha256 | bytes | tier | status | ...
    if (cells.size() >= 9 && cells[8] == "ok") {
      documents.push_back(SharedDir() / "corpus" / cells[0]);
    }
  }
  std::sort(documents.begin(), documents.end());
  return documents;
}
std::filesystem::path FixturesDir() {
  return TESSARINE_FIXTURES_DIR;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path;
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::map<std::string, std::string> FileTree(const std::filesystem::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      files[std::filesystem::relative(entry.path(), root).string()] = ReadBytes(entry.path());
    }
  }
  return files;
}

TempDir::TempDir() {
  std::random_device rd;
  for (;;) {
    path_ = std::filesystem::temp_directory_path() /
            ("tessarine-test-" + std::to_string(rd()) + std::to_string(rd()));
    if (std::filesystem::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const {
  return (path_ / name).string();
}

}  // namespace tessarine::testing
