#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "project/document_record.h"
#include "site/header_footer.h"
#include "support/regex.h"
#include "support/text_file.h"
#include "test_support.h"

namespace tessarine::site {
namespace {

namespace fs = std::filesystem;

template <typename T>
T Ok(support::Result<T> result) {
  EXPECT_TRUE(result.ok()) << result.message();
  return result.ok() ? std::move(result).value() : T();
}

project::DocumentRecord Record(std::string prefix, std::string header, std::string footer,
                               std::string hf_home) {
  project::DocumentRecord document;
  document.FilenamePre = std::move(prefix);
  document.Header = std::move(header);
  document.Footer = std::move(footer);
  document.HFHome = std::move(hf_home);
  return document;
}

// Every number that stands directly before "</span>", in order.
std::vector<std::string> SpanNumbers(const std::string& html) {
  std::vector<std::string> numbers;
  for (const auto& m : Ok(support::RegexpExecute(">([0-9]+)</span>", html))) {
    numbers.push_back(*m.groups[0]);
  }
  return numbers;
}

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

// The story's own div opens the text (its style may have been tidied away).
bool StartsWithStory(const std::string& html, const std::string& id) {
  return Ok(support::RegexpTest("^<div[^>]*\\sid=" + id + ">", html));
}

// The fixtures copied into a scratch folder of the test's own; the output
// folder beside it.
class HeaderFooterFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(testing::FixturesDir() / "header_footer", scratch_, fs::copy_options::recursive);
    fs::create_directories(output_);
  }
  convert::CompanionFiles Files(const project::DocumentRecord& document) const {
    return convert::CompanionFiles::InFolder(scratch_.string() + "/" + document.FilenamePre +
                                             ".files/");
  }
  std::string Output() const { return output_.string() + "/"; }

  testing::TempDir temp_;
  fs::path scratch_ = temp_.path() / "scratch";
  fs::path output_ = temp_.path() / "output";
};

// --- Numbering and the home page ------------------------------------------------

struct HomeCase {
  const char* hf_home;
  std::vector<std::vector<std::string>> numbers;  // per row: page, page count
};

TEST_F(HeaderFooterFixture, FooterCountsOnlyPagesWithAFooterAgainstAllRows) {
  const HomeCase cases[] = {
      {"0", {{}, {"1", "5"}, {"2", "5"}, {"3", "5"}, {"4", "5"}}},
      {"1", {{"1", "5"}, {"2", "5"}, {"3", "5"}, {"4", "5"}, {"5", "5"}}},
  };
  for (const HomeCase& c : cases) {
    SCOPED_TRACE(c.hf_home);
    SectionTable table(5);
    const project::DocumentRecord document = Record("fields", "1", "1", c.hf_home);
    ASSERT_TRUE(BuildHeaders(table, document, Files(document), Output()));
    ASSERT_TRUE(BuildFooters(table, document, Files(document), Output()));
    for (size_t k = 0; k < table.size(); ++k) {
      EXPECT_EQ(SpanNumbers(table[k].FooterHtml), c.numbers[k]) << "row " << k;
      const bool shown = !c.numbers[k].empty();
      EXPECT_EQ(table[k].FooterHtml.empty(), !shown) << "row " << k;
      EXPECT_EQ(table[k].HeaderHtml.empty(), !shown) << "row " << k;
      if (shown) {
        EXPECT_NE(table[k].HeaderHtml.find("Fields header"), std::string::npos);
      }
    }
  }
}

// A header holding fields (a page number, a document property): their codes go
// as in the body, the results stay, the number follows the page, and nothing
// is left inside a comment that would hide the rest of the page.
TEST_F(HeaderFooterFixture, HeaderFieldsLeaveTheirResultsAndNoOpenComment) {
  SectionTable table(3);
  ASSERT_TRUE(BuildHeaders(table, Record("pagefield", "1", "0", "1"),
                           Files(Record("pagefield", "1", "0", "1")), Output()));
  for (size_t k = 0; k < table.size(); ++k) {
    const std::string& header = table[k].HeaderHtml;
    EXPECT_EQ(SpanNumbers(header), std::vector<std::string>{std::to_string(k + 1)}) << header;
    EXPECT_NE(header.find("Annual report"), std::string::npos);
    EXPECT_EQ(header.find("<!--"), std::string::npos) << header;
    EXPECT_EQ(header.find("MERGEFORMAT"), std::string::npos) << header;
    EXPECT_EQ(header.find("TITLE"), std::string::npos) << header;
  }
}

// --- Which element is taken ------------------------------------------------------

TEST_F(HeaderFooterFixture, FooterWithNestedDivIsTakenWholeAndNothingAfterIt) {
  SectionTable table(2);
  ASSERT_TRUE(BuildFooters(table, Record("nested", "0", "1", "1"),
                           Files(Record("nested", "0", "1", "1")), Output()));
  const std::string& footer = table[1].FooterHtml;
  EXPECT_TRUE(StartsWithStory(footer, "f1")) << footer;
  EXPECT_NE(footer.find("Inside the box"), std::string::npos);
  EXPECT_NE(footer.find("After the box"), std::string::npos);
  EXPECT_EQ(footer.find("First-page footer"), std::string::npos);
  EXPECT_EQ(footer.find("Even footer"), std::string::npos);
  EXPECT_EQ(Count(footer, "<div"), Count(footer, "</div>"));
}

TEST_F(HeaderFooterFixture, HeaderAndFooterOffGiveEmptyRowsWithoutReadingTheFile) {
  // Stale values from elsewhere go, and a prefix that could never be read
  // from shows that the header file is not even looked for.
  for (const char* prefix : {"fields", "../fields"}) {
    SCOPED_TRACE(prefix);
    SectionTable table(3);
    for (Section& row : table) row.HeaderHtml = row.FooterHtml = "stale";
    const project::DocumentRecord document = Record(prefix, "0", "0", "1");
    ASSERT_TRUE(BuildHeaders(table, document, Files(document), Output()));
    ASSERT_TRUE(BuildFooters(table, document, Files(document), Output()));
    for (const Section& row : table) {
      EXPECT_EQ(row.HeaderHtml, "");
      EXPECT_EQ(row.FooterHtml, "");
    }
  }
  SectionTable table(1);
  EXPECT_FALSE(BuildHeaders(table, Record("../fields", "1", "0", "1"),
                            Files(Record("../fields", "1", "0", "1")), Output()));
}

// The real header files Word wrote. `header` and `footer`: whether the first
// header / first footer exists (and is readable as ANSI); `numbered`: whether
// its footer holds a page number in the form Word's numbering uses.
struct SampleCase {
  const char* folder;
  const char* prefix;
  bool header;
  bool footer;
  bool numbered;
};

TEST(HeaderFooterSamples, FirstStoriesOnlyAndNumberedPages) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  const SampleCase cases[] = {
      {"cn-lingfangzeng-gb2312", "publication", false, true, true},
      {"cn-lingfangzeng-gb2312", "index", true, true, false},  // field never updated
      {"cn-jahhan-doc-utf8", "index", true, true, false},      // roman numeral "II"
      {"cn-jahhan-doc-cp20936", "index", true, true, false},
      {"cn-probability-formula", "index", true, true, false},  // plain "1"
      {"cn-qiaod-weekly", "ky", true, false, false},
      {"cn-paperdown-gb2312", "index", false, false, false},  // separators only
      {"cn-suzhouxing", "index", false, false, false},
      {"cn-softwaretesting-utf16", "index", false, false, false},  // UTF-16 is not ANSI
      {"cn-suzhouxing", "metaheuristic", false, false, false},
  };
  const fs::path samples = testing::SharedDir() / "wordhtml-samples";
  size_t listed = 0;
  for (const auto& entry : fs::recursive_directory_iterator(samples)) {
    if (entry.path().filename() == "header.htm") ++listed;
  }
  EXPECT_EQ(listed, std::size(cases)) << "a new sample header file needs a row here";

  for (const SampleCase& c : cases) {
    SCOPED_TRACE(std::string(c.folder) + "/" + c.prefix);
    testing::TempDir output;
    SectionTable table(4);
    const project::DocumentRecord document = Record(c.prefix, "1", "1", "1");
    const auto scratch = convert::CompanionFiles::InFolder((samples / c.folder).string() + "/" +
                                                           c.prefix + ".files/");
    ASSERT_TRUE(BuildHeaders(table, document, scratch, output.path().string() + "/"));
    ASSERT_TRUE(BuildFooters(table, document, scratch, output.path().string() + "/"));

    const std::string& header = table[0].HeaderHtml;
    EXPECT_EQ(!header.empty(), c.header);
    if (c.header) {
      EXPECT_TRUE(StartsWithStory(header, "h1")) << header;
      EXPECT_EQ(Count(header, "<div"), Count(header, "</div>"));
      EXPECT_EQ(header.find("mso-element:footer"), std::string::npos);
    }
    for (size_t k = 0; k < table.size(); ++k) {
      const std::string& footer = table[k].FooterHtml;
      EXPECT_EQ(table[k].HeaderHtml, header);  // no page number in these headers
      EXPECT_EQ(header.find("<!--"), std::string::npos) << header;
      EXPECT_EQ(!footer.empty(), c.footer);
      if (!c.footer) continue;
      EXPECT_TRUE(StartsWithStory(footer, "f1")) << footer;
      EXPECT_EQ(Count(footer, "<div"), Count(footer, "</div>"));
      EXPECT_EQ(footer.find("id=fh1"), std::string::npos);
      EXPECT_EQ(footer.find("id=ff1"), std::string::npos);
      EXPECT_EQ(footer.find("supportFields"), std::string::npos);
      if (c.numbered) {
        EXPECT_EQ(SpanNumbers(footer), std::vector<std::string>{std::to_string(k + 1)});
      } else {
        EXPECT_EQ(footer, table[0].FooterHtml);
      }
    }
  }
}

// --- VML pictures -----------------------------------------------------------------

TEST_F(HeaderFooterFixture, FooterPictureBecomesImageInTheResourceFolder) {
  testing::WriteBytes(scratch_ / "picture.files" / "image003.gif", "GIF89a-footer");
  SectionTable table(3);
  ASSERT_TRUE(BuildFooters(table, Record("picture", "0", "1", "0"),
                           Files(Record("picture", "0", "1", "0")), Output()));
  EXPECT_EQ(table[0].FooterHtml, "");
  for (size_t k = 1; k < table.size(); ++k) {
    const std::string& footer = table[k].FooterHtml;
    EXPECT_NE(footer.find(R"(<img src="picture.files/image003.gif" width="45pt" height="22.5pt">)"),
              std::string::npos)
        << footer;
    // The text box before the picture is not taken for part of it.
    EXPECT_NE(footer.find("Footer text"), std::string::npos);
    EXPECT_EQ(footer.find("v:imagedata"), std::string::npos);
    EXPECT_EQ(footer.find("v:shapetype"), std::string::npos);
    EXPECT_EQ(footer.find("[if gte vml"), std::string::npos);
    EXPECT_EQ(footer.find("<![endif]-->"), std::string::npos);
    // Word's fallback image would show the picture twice, from a source no
    // page can reach; a fallback without a picture stays.
    EXPECT_EQ(footer.find("image004.gif"), std::string::npos) << footer;
    EXPECT_EQ(footer.find("<img"), footer.rfind("<img"));
    EXPECT_NE(footer.find("<![if !vml]><span>&nbsp;</span><![endif]>"), std::string::npos)
        << footer;
  }
  EXPECT_EQ(testing::ReadBytes(output_ / "picture.files" / "image003.gif"), "GIF89a-footer");
}

struct VmlCase {
  const char* name;
  std::string html;
  std::string expected;
};

TEST(VmlPicturesToImages, ShapesWithoutPictureSwallowNothing) {
  const std::string picture =
      R"(<v:shape id="p" style='width:10pt;height:20pt'><v:imagedata src="a.png" o:title=""/>)"
      "\r\n</v:shape>";
  const std::string image = R"(<img src="a.png" width="10pt" height="20pt">)";
  const std::string text_box =
      R"(<v:shape id="t" type="#_x0000_t202" style='width:64pt;height:21pt'>)"
      R"(<v:textbox style='mso-next-textbox:#t'/></v:shape>)";
  const std::string rectangle = R"(<v:shape id="r" style='width:5pt;height:5pt' filled="f"/>)";
  const VmlCase cases[] = {
      {"picture", "x" + picture + "y", "x" + image + "y"},
      {"text box first", text_box + "KEEP" + picture, text_box + "KEEP" + image},
      {"empty shape first", rectangle + "KEEP" + picture, rectangle + "KEEP" + image},
      {"picture inside a text box",
       R"(<v:shape id="t" style='width:64pt;height:21pt'><v:textbox><div>KEEP)" + picture +
           "</div></v:textbox></v:shape>",
       R"(<v:shape id="t" style='width:64pt;height:21pt'><v:textbox><div>KEEP)" + image +
           "</div></v:textbox></v:shape>"},
      {"no picture at all", text_box + "KEEP" + rectangle, text_box + "KEEP" + rectangle},
  };
  for (const VmlCase& c : cases) {
    EXPECT_EQ(Ok(VmlPicturesToImages(c.html)), c.expected) << c.name;
  }
}

// The pass as first written, with spans that may run past the shape's end.
constexpr const char* kUnboundedVmlPicture =
    R"re(<v:shape(?:[^a]|a)*?width:([^;"'>]*?);(?:[^a]|a)*?height:([^;"'>]*?)['";](?:[^a]|a)*?)re"
    R"re(<v:imagedata src="([^">]*?)"(?:[^a]|a)*?</v:shape>)re";

// On real Word HTML whose shapes all hold a picture the bounded pass gives
// exactly what the unbounded one gave.
TEST(VmlPicturesToImages, SameAsUnboundedPassOnRealPictureShapes) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  const char* files[] = {
      "cn-jahhan-doc-utf8/index.htm",
      "cn-jahhan-doc-cp20936/index.htm",
      "cn-lingfangzeng-gb2312/index.htm",
      "cn-qiaod-weekly/note.htm",
      "cn-qiaod-weekly/ky.htm",
      "clip-ckeditor4/wrapped-images.html",
      "clip-ckeditor4/table-colspan-misaligned.html",
  };
  for (const char* file : files) {
    SCOPED_TRACE(file);
    const std::string html = Ok(support::RegexpReplace(
        support::ReadTextFile((testing::SharedDir() / "wordhtml-samples" / file).string()),
        "<v:shapetype(?:[^a]|a)*?</v:shapetype>", ""));
    const std::string bounded = Ok(VmlPicturesToImages(html));
    EXPECT_EQ(bounded, Ok(support::RegexpReplace(html, kUnboundedVmlPicture,
                                                 R"(<img src="$3" width="$1" height="$2">)")));
    EXPECT_GT(Count(bounded, "<img src="), 0u);
    EXPECT_EQ(Count(bounded, "<v:imagedata"), 0u);
  }
}

}  // namespace
}  // namespace tessarine::site
