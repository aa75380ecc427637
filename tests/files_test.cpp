#include "support/files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

namespace tessarine::support {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

class FilesTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return temp_.File(name); }
  void Folder(const std::string& name) const { fs::create_directories(temp_.path() / name); }
  void File(const std::string& name, const std::string& bytes = "x") const {
    WriteBytes(temp_.path() / name, bytes);
  }
  TempDir temp_;
};

TEST(NormalizePath, TurnsBackslashesIntoSlashes) {
  EXPECT_EQ(NormalizePath("out\\site\\"), "out/site/");
  EXPECT_EQ(NormalizePath("/a/b"), "/a/b");
}

TEST_F(FilesTest, FolderExistsForFoldersAndFiles) {
  Folder("site");
  File("page.htm");
  EXPECT_TRUE(FolderExists(Path("site")));
  EXPECT_TRUE(FolderExists(Path("site") + "/"));
  EXPECT_TRUE(FolderExists(Path("page.htm")));
  EXPECT_FALSE(FolderExists(Path("missing")));
  EXPECT_FALSE(FolderExists(Path("page.htm") + "/"));
  EXPECT_FALSE(FolderExists(""));
}

TEST_F(FilesTest, FileExistsOnlyForVisibleFiles) {
  Folder("docs");
  Folder(".config");
  File("docs/a.doc");
  File(".hidden.doc");
  File(".config/b.doc");
  EXPECT_TRUE(FileExists(Path("docs/a.doc")));
  EXPECT_TRUE(FileExists(Path(".config/b.doc")));  // only the file's own name counts
  EXPECT_FALSE(FileExists(Path("docs")));
  EXPECT_FALSE(FileExists(Path(".hidden.doc")));
  EXPECT_FALSE(FileExists(Path("docs/missing.doc")));
  EXPECT_FALSE(FileExists(""));
}

TEST(HasExtension, ComparesTheLastExtensionWithTheList) {
  struct Case {
    const char* path;
    const char* list;
    bool expected;
  };
  const Case cases[] = {
      {"report.DOCX", "doc|docx", true},
      {"/home/me/report.doc", "doc|docx", true},
      {"c:\\my.doc\\file", "doc|docx", false},
      {"my.doc/file", "doc|docx", false},
      {"report.", "doc|docx", false},
      {"report", "doc|docx", false},
      {"report.doc.txt", "doc|docx", false},
      {"a.doc", " DOC | docx ", true},
      {"a.docx", "doc", false},
      {"a.doc", "||", false},
      {"a.", "|", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HasExtension(c.path, c.list), c.expected) << c.path << " " << c.list;
  }
}

TEST_F(FilesTest, IsDocumentFileNeedsTheExtensionAndTheFile) {
  File("a.docx");
  File("a.txt");
  File(".b.doc");
  Folder("c.doc");
  EXPECT_TRUE(IsDocumentFile(Path("a.docx"), "doc|docx"));
  EXPECT_FALSE(IsDocumentFile(Path("a.txt"), "doc|docx"));
  EXPECT_FALSE(IsDocumentFile(Path("missing.doc"), "doc|docx"));
  EXPECT_FALSE(IsDocumentFile(Path(".b.doc"), "doc|docx"));
  EXPECT_FALSE(IsDocumentFile(Path("c.doc"), "doc|docx"));
}

TEST(FileNameOfPath, GivesTheLastPiece) {
  EXPECT_EQ(FileNameOfPath("c:\\a\\b.doc"), "b.doc");
  EXPECT_EQ(FileNameOfPath("/a/b.doc"), "b.doc");
  EXPECT_EQ(FileNameOfPath("b.doc"), "b.doc");
  EXPECT_EQ(FileNameOfPath("/a/"), "");
  EXPECT_EQ(FileNameOfPath(""), "");
}

TEST_F(FilesTest, DeleteFolderRemovesEverythingReadOnlyIncluded) {
  Folder("tmp/sub/nested");
  Folder("tmp/.hidden-folder");
  Folder("tmp/locked");
  File("tmp/read-only.htm");
  File("tmp/.hidden.htm");
  File("tmp/sub/nested/deep.htm");
  File("tmp/.hidden-folder/x");
  File("tmp/locked/inside.htm");
  fs::permissions(Path("tmp/read-only.htm"), fs::perms::owner_read);
  // A folder without write permission keeps its entries unless the
  // permission comes back first.
  fs::permissions(Path("tmp/locked"), fs::perms::owner_read | fs::perms::owner_exec);
  fs::permissions(Path("tmp/sub"), fs::perms::owner_read | fs::perms::owner_exec);
  // A link leads out of the folder: only the link may go.
  Folder("elsewhere");
  File("elsewhere/keep.htm");
  fs::create_directory_symlink(Path("elsewhere"), Path("tmp/link"));

  DeleteFolder(Path("tmp") + "/");

  EXPECT_FALSE(fs::exists(Path("tmp")));
  EXPECT_TRUE(fs::exists(Path("elsewhere/keep.htm")));
}

TEST_F(FilesTest, DeleteFolderLeavesAnythingElseAlone) {
  DeleteFolder(Path("missing"));
  DeleteFolder("");
  File("page.htm");
  DeleteFolder(Path("page.htm"));
  EXPECT_TRUE(fs::exists(Path("page.htm")));
  Folder("target");
  File("target/keep.htm");
  fs::create_directory_symlink(Path("target"), Path("link"));
  DeleteFolder(Path("link") + "/");
  EXPECT_TRUE(fs::exists(Path("target/keep.htm")));
}

TEST_F(FilesTest, ListSubfoldersSortsFolderNamesByteWise) {
  for (const char* name : {"b", "A", "c", ".git", "Zeta", "b-2"}) {
    Folder(std::string("tmpl/") + name);
  }
  File("tmpl/a.htm");
  fs::create_directory_symlink(Path("tmpl/c"), Path("tmpl/linked"));
  fs::create_symlink(Path("tmpl/a.htm"), Path("tmpl/file-link"));
  const std::vector<std::string> expected = {"A", "Zeta", "b", "b-2", "c", "linked"};
  EXPECT_EQ(ListSubfolders(Path("tmpl") + "/"), expected);
  EXPECT_EQ(ListSubfolders(Path("tmpl")), expected);
  EXPECT_TRUE(ListSubfolders(Path("missing")).empty());
  EXPECT_TRUE(ListSubfolders(Path("tmpl/a.htm")).empty());
}

TEST_F(FilesTest, CopyFolderTreeMergesIntoTheTarget) {
  Folder("src/sub");
  Folder("src/empty");
  File("src/a.css", "new");
  File("src/sub/b.gif", "b");
  Folder("dst/sub");
  File("dst/a.css", "old");
  File("dst/keep.htm", "keep");
  File("dst/sub/c.gif", "c");

  const Status copied = CopyFolderTree(Path("src"), Path("dst") + "/");
  ASSERT_TRUE(copied.ok()) << copied.message();

  EXPECT_EQ(ReadBytes(Path("dst/a.css")), "new");
  EXPECT_EQ(ReadBytes(Path("dst/keep.htm")), "keep");
  EXPECT_EQ(ReadBytes(Path("dst/sub/b.gif")), "b");
  EXPECT_EQ(ReadBytes(Path("dst/sub/c.gif")), "c");
  EXPECT_TRUE(fs::is_directory(Path("dst/empty")));
  EXPECT_EQ(ReadBytes(Path("src/a.css")), "new");
}

TEST_F(FilesTest, CopyFolderTreeNeverCopiesAFolderIntoItself) {
  Folder("src/sub");
  File("src/a.css", "a");
  EXPECT_TRUE(CopyFolderTree(Path("src"), Path("src") + "/").ok());
  EXPECT_FALSE(CopyFolderTree(Path("src"), Path("src/sub/copy")).ok());
  EXPECT_FALSE(fs::exists(Path("src/sub/copy")));
  EXPECT_TRUE(CopyFolderTree(Path("src/sub"), Path("src/sub-copy")).ok());  // a sibling is fine
}

TEST_F(FilesTest, CopyFolderTreeCreatesAMissingTarget) {
  Folder("src/sub");
  File("src/sub/b.gif", "b");
  ASSERT_TRUE(CopyFolderTree(Path("src"), Path("out/tfiles")).ok());
  EXPECT_EQ(ReadBytes(Path("out/tfiles/sub/b.gif")), "b");
}

TEST_F(FilesTest, CopyFolderTreeFailuresNameTheEntry) {
  File("plain.htm");
  Folder("src/sub");
  File("src/sub/b.gif");
  Folder("dst");
  File("dst/sub");  // a file where the copy needs a folder

  const Status missing = CopyFolderTree(Path("missing"), Path("dst"));
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find(Path("missing")), std::string::npos) << missing.message();
  EXPECT_NE(missing.message().find("No such file or directory"), std::string::npos);

  const Status not_folder = CopyFolderTree(Path("plain.htm"), Path("dst"));
  ASSERT_FALSE(not_folder.ok());
  EXPECT_NE(not_folder.message().find(Path("plain.htm")), std::string::npos);

  const Status blocked = CopyFolderTree(Path("src"), Path("dst"));
  ASSERT_FALSE(blocked.ok());
  EXPECT_NE(blocked.message().find("sub"), std::string::npos) << blocked.message();
}

// Sets environment variables for one test and puts the old values back.
// A replacement reaches the target only whole: dropped, it leaves the old
// file and no temporary one; committed, it keeps the old file's permissions.
// Devices are written in place, never replaced by a file.
TEST_F(FilesTest, AReplacementFileReachesItsTargetOnlyWhole) {
  const std::string target = Path("page.htm");
  WriteBytes(target, "old");
  std::filesystem::permissions(
      target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  {
    ReplacementFile file(target);
    ASSERT_TRUE(file.Write("half of a new"));
  }
  EXPECT_EQ(ReadBytes(target), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp_.path()),
                          std::filesystem::directory_iterator()),
            1);
  ReplacementFile file(target);
  ASSERT_TRUE(file.Write("new"));
  ASSERT_TRUE(file.Commit().ok());
  EXPECT_EQ(ReadBytes(target), "new");
  EXPECT_EQ(std::filesystem::status(target).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

  ReplacementFile device("/dev/null");
  ASSERT_TRUE(device.Write("x"));
  ASSERT_TRUE(device.Commit().ok());
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));

  EXPECT_FALSE(ReplacementFile(Path("missing/page.htm")).Commit().ok());
  WriteBytes(Path("source.png"), "picture");
  ASSERT_TRUE(CopyFileReplacing(Path("source.png"), target).ok());
  EXPECT_EQ(ReadBytes(target), "picture");
  EXPECT_FALSE(CopyFileReplacing(Path("missing.png"), target).ok());
  EXPECT_EQ(ReadBytes(target), "picture");
}

class ScopedEnvironment {
 public:
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }
  void Set(const std::string& name, const char* value) {
    const char* old = std::getenv(name.c_str());
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value) {
      ::setenv(name.c_str(), value, 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(FilesTest, DataFolderComesFromTessarineHome) {
  ScopedEnvironment env;
  env.Set("TESSARINE_HOME", temp_.path().c_str());
  EXPECT_EQ(DataFolder(), temp_.path().string() + "/");
  env.Set("TESSARINE_HOME", (temp_.path().string() + "/").c_str());
  EXPECT_EQ(DataFolder(), temp_.path().string() + "/");
  // Writable, so output goes beside the templates.
  EXPECT_EQ(UserFolder(), temp_.path().string() + "/");
  EXPECT_EQ(DefaultOutputFolder(), temp_.path().string() + "/output/");
}

TEST_F(FilesTest, UserFolderFallsBackToTheXdgDataFolder) {
  ScopedEnvironment env;
  // A data folder that cannot be written to (here: one that does not exist,
  // which fails for root as well).
  env.Set("TESSARINE_HOME", Path("not-there").c_str());
  env.Set("HOME", "/home/someone");

  env.Set("XDG_DATA_HOME", "/xdg/data");
  EXPECT_EQ(UserFolder(), "/xdg/data/tessarine/");
  env.Set("XDG_DATA_HOME", "relative/data");  // ignored, as the XDG rules say
  EXPECT_EQ(UserFolder(), "/home/someone/.local/share/tessarine/");
  env.Set("XDG_DATA_HOME", nullptr);
  EXPECT_EQ(UserFolder(), "/home/someone/.local/share/tessarine/");
  EXPECT_EQ(DefaultOutputFolder(), "/home/someone/.local/share/tessarine/output/");

  if (::geteuid() != 0) {
    Folder("read-only");
    fs::permissions(Path("read-only"), fs::perms::owner_read | fs::perms::owner_exec);
    env.Set("TESSARINE_HOME", Path("read-only").c_str());
    EXPECT_EQ(UserFolder(), "/home/someone/.local/share/tessarine/");
  }
}

}  // namespace
}  // namespace tessarine::support
