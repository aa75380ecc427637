#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "site/images.h"
#include "test_support.h"

namespace tessarine::site {
namespace {

namespace fs = std::filesystem;

// A scratch folder with the companion folders doc1.files/ and doc2.files/,
// and an empty output folder.
class ImagesFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(scratch_ / "doc1.files" / "sub");
    fs::create_directories(scratch_ / "doc2.files");
    fs::create_directories(output_);
    for (const char* name : {"image001.png", "image002.png", "image005.png", "unused.png"}) {
      testing::WriteBytes(scratch_ / "doc1.files" / name, std::string("doc1 ") + name);
    }
    testing::WriteBytes(scratch_ / "doc2.files" / "image009.png", "doc2 image009.png");
  }
  convert::CompanionFiles Doc1() const {
    return convert::CompanionFiles::InFolder(scratch_.string() + "/doc1.files/");
  }
  std::string Output() const { return output_.string() + "/"; }
  fs::path Resource(const std::string& name) const { return output_ / "doc1.files" / name; }
  // The build's two steps: each page's pictures, then those of every page
  // copied.
  support::Status CopyPageImages(const std::vector<std::string>& pages, const std::string& prefix) {
    std::vector<std::string> names;
    for (const std::string& page : pages) {
      support::Result<std::vector<std::string>> found = PageImageNames(page, prefix);
      if (!found) return found.status();
      names.insert(names.end(), found->begin(), found->end());
    }
    return CopyNamedPageImages(names, Doc1(), Output(), prefix);
  }

  testing::TempDir temp_;
  fs::path scratch_ = temp_.path() / "scratch";
  fs::path output_ = temp_.path() / "output";
};

TEST_F(ImagesFixture, CopiesEachPictureThePagesUseAndNothingElse) {
  const std::vector<std::string> pages = {
      R"(<p><img width=10 src="doc1.files/image001.png"></p>)",
      R"(<p><IMG SRC="doc1.files/image001.png"><img src="doc2.files/image009.png"></p>)"
      "\r\n"
      R"(<table background><td><input type=image src="DOC1.files/sub/image005.png"></td></table>)"
      R"(<a href="doc1.files/image002.png">a link, not a source</a>)"};
  fs::create_directories(output_ / "doc1.files");
  testing::WriteBytes(Resource("image001.png"), "from an earlier build");
  ASSERT_TRUE(CopyPageImages(pages, "doc1"));

  EXPECT_EQ(testing::ReadBytes(Resource("image001.png")), "doc1 image001.png");
  // A sub-folder in the source counts for nothing: the top-level file is taken.
  EXPECT_EQ(testing::ReadBytes(Resource("image005.png")), "doc1 image005.png");
  EXPECT_FALSE(fs::exists(Resource("sub")));
  EXPECT_FALSE(fs::exists(Resource("image002.png")));
  EXPECT_FALSE(fs::exists(Resource("unused.png")));
  // Another document's pictures are its own step's business.
  EXPECT_FALSE(fs::exists(Resource("image009.png")));
  EXPECT_FALSE(fs::exists(output_ / "doc2.files"));
}

TEST_F(ImagesFixture, CreatesTheResourceFolderWithoutPictures) {
  ASSERT_TRUE(CopyPageImages({"<p>no pictures</p>"}, "doc1"));
  EXPECT_TRUE(fs::is_directory(output_ / "doc1.files"));
  EXPECT_TRUE(fs::is_empty(output_ / "doc1.files"));
}

TEST_F(ImagesFixture, MissingOrUncopyablePicturesArePassedOver) {
  fs::create_directories(scratch_ / "doc1.files" / "folder.png");
  const std::string page = R"(<img src="doc1.files/missing.png"><img src="doc1.files/folder.png">)"
                           R"(<img src="doc1.files/..">)"
                           R"(<img src="doc1.files/image002.png">)";
  ASSERT_TRUE(CopyPageImages({page}, "doc1"));
  EXPECT_FALSE(fs::exists(Resource("missing.png")));
  EXPECT_FALSE(fs::exists(Resource("folder.png")));
  EXPECT_TRUE(fs::exists(Resource("image002.png")));
}

TEST_F(ImagesFixture, RefusesAPrefixThatIsNotPlain) {
  for (const char* prefix : {"", "..", "doc.1", "a/b", "doc(1)"}) {
    EXPECT_FALSE(PageImageNames("", prefix).ok()) << prefix;
    EXPECT_FALSE(CopyNamedPageImages({}, Doc1(), Output(), prefix)) << prefix;
    EXPECT_FALSE(CopyHeaderFooterImages("", Doc1(), Output(), prefix).ok()) << prefix;
  }
}

// The header file names pictures relative to the companion folder itself.
TEST_F(ImagesFixture, HeaderFooterPicturesPointIntoTheResourceFolder) {
  const std::string footer = R"(<img src="image001.png" width="45pt"><img src="missing.gif">)"
                             R"(<img src="../doc2.files/image009.png"><img src="">)";
  const support::Result<std::string> result =
      CopyHeaderFooterImages(footer, Doc1(), Output(), "doc1");
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_EQ(*result,
            R"(<img src="doc1.files/image001.png" width="45pt"><img src="doc1.files/missing.gif">)"
            R"(<img src="doc1.files/../doc2.files/image009.png"><img src="doc1.files/">)");
  EXPECT_EQ(testing::ReadBytes(Resource("image001.png")), "doc1 image001.png");
  // A source that leads out of the companion folder is not copied anywhere.
  EXPECT_FALSE(fs::exists(output_ / "doc2.files"));
  EXPECT_FALSE(fs::exists(Resource("missing.gif")));
}

}  // namespace
}  // namespace tessarine::site
