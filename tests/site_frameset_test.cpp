// The frameset pages (home, top, left), the top menu, the logo and the
// tree-menu data, and the shipped template's frameset files.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "project/project_settings.h"
#include "site/frameset.h"
#include "support/text_file.h"
#include "test_support.h"

namespace tessarine::site {
namespace {

namespace fs = std::filesystem;
using project::DocumentRecord;
using project::ProjectSettings;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

constexpr char kH0[] =
    R"(H0iconNormal,H0iconOver,H0iconExpanded,"","",H0itemStyleInd,H0itemXPStyleInd)";
constexpr char kHC[] =
    R"(HCiconNormal,HCiconOver,HCiconExpanded,"","",HCitemStyleInd,HCitemXPStyleInd)";
constexpr char kNC[] =
    R"(NCiconNormal,NCiconOver,NCiconExpanded,"","",NCitemStyleInd,NCitemXPStyleInd)";

std::string Item(const std::string& name, const std::string& file, const char* set) {
  return "[\"" + name + "\",\"" + file + "\"," + set + ",],";
}

std::string Data(const std::vector<std::string>& items) {
  std::string data = "var tmenuItems=[";
  for (const std::string& item : items) data += item;
  return data + "];";
}

struct Row {
  const char* level;
  const char* title;
  const char* file;
  int has_children = 0;
};

SectionTable Table(const std::vector<Row>& rows) {
  SectionTable table;
  for (const Row& r : rows) {
    Section row;
    row.Level = r.level;
    row.Title = r.title;
    row.PageFile = r.file;
    row.HasChildren = r.has_children;
    table.push_back(row);
  }
  return table;
}

DocumentRecord Document(const char* prefix, const char* expand_level) {
  DocumentRecord document;
  document.FilenamePre = prefix;
  document.ExpandLevel = expand_level;
  return document;
}

// --- Top menu ------------------------------------------------------------------------------------

TEST(TopMenu, ValidLinesBecomeItemsBetweenSeparators) {
  const struct {
    const char* nav;
    const char* items;  // between the menu's head and tail; "" for no menu
  } cases[] = {
      {"Home|/|||Docs|/doc/",
       R"(<li><a href="/" target="_blank">Home</a></li><li class="tessarine_menu_sep"></li>)"
       R"(<li><a href="/doc/" target="_blank">Docs</a></li>)"},
      {"  Home  |  /  ", R"(<li><a href="/" target="_blank">Home</a></li>)"},
      // No "|", two "|", an empty side after trimming: passed over.
      {"Home", ""},
      {"Home|/|x", ""},
      {" |/", ""},
      {"Home|   ", ""},
      {"", ""},
      {"|||", ""},
      {"bad|||A|/a|||x|y|z|||B|/b",
       R"(<li><a href="/a" target="_blank">A</a></li><li class="tessarine_menu_sep"></li>)"
       R"(<li><a href="/b" target="_blank">B</a></li>)"},
      // Four bars: "A|/a" and "|B|/b", which has two.
      {"A|/a||||B|/b", R"(<li><a href="/a" target="_blank">A</a></li>)"},
      // Texts and addresses go in as they stand.
      {"<b>R&amp;D</b>|a?b=1&c=2",
       R"(<li><a href="a?b=1&c=2" target="_blank"><b>R&amp;D</b></a></li>)"},
  };
  for (const auto& c : cases) {
    const std::string items = c.items;
    EXPECT_EQ(BuildTopMenu(c.nav),
              items.empty() ? "" : "<div id=\"tessarine_menu\"><ul>" + items + "</ul></div>")
        << c.nav;
  }
}

// --- Menu data -----------------------------------------------------------------------------------

TEST(MenuData, OneItemPerRowWithLevelsExpandMarksAndSets) {
  const SectionTable guide = Table({{"0", "Guide", "guide.htm"},
                                    {"1", "Intro", "guide.1.htm", 1},
                                    {"2", "Setup", "guide.1.1.htm"}});
  EXPECT_EQ(BuildMenuData({Document("guide", "1")}, {guide}),
            Data({Item("+Guide", "guide.htm", kH0), Item("|Intro", "guide.1.htm", kHC),
                  Item("||Setup", "guide.1.1.htm", kNC)}));

  // A document without headings: its home page alone, with the H0 set.
  EXPECT_EQ(BuildMenuData({Document("doc1", "1")}, {Table({{"0", "Notes", "doc1.htm"}})}),
            Data({Item("+Notes", "doc1.htm", kH0)}));
  // Nothing at all.
  EXPECT_EQ(BuildMenuData({}, {}), "var tmenuItems=[];");
}

TEST(MenuData, ExpandLevelMarksEveryLevelBelowIt) {
  std::vector<Row> rows = {{"0", "Home", "d.htm", 1}};
  const char* levels[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9"};
  for (const char* level : levels) rows.push_back({level, "T", "d.x.htm", 1});
  const SectionTable table = Table(rows);

  const struct {
    const char* expand_level;
    int marked;  // rows of levels 0 .. marked-1 carry "+"
  } cases[] = {{"0", 0}, {"1", 1}, {"3", 3}, {"9", 9}, {"x", 0}, {"", 0}};
  for (const auto& c : cases) {
    const std::string data = BuildMenuData({Document("d", c.expand_level)}, {table});
    for (int level = 0; level <= 9; ++level) {
      const std::string name = std::string(static_cast<size_t>(level), '|') +
                               (level < c.marked ? "+" : "") + (level == 0 ? "Home" : "T");
      EXPECT_NE(data.find("[\"" + name + "\","), std::string::npos)
          << "ExpandLevel " << c.expand_level << ", level " << level << ": " << data;
    }
  }
}

TEST(MenuData, DocumentsInListOrderPassingOverSkippedOnes) {
  const SectionTable first = Table({{"0", "A", "a.htm", 1}, {"1", "A1", "a.1.htm"}});
  const SectionTable second = Table({{"0", "B", "b.htm"}});
  EXPECT_EQ(BuildMenuData({Document("a", "1"), Document("b", "0")}, {first, second}),
            Data({Item("+A", "a.htm", kH0), Item("|A1", "a.1.htm", kNC), Item("B", "b.htm", kH0)}));

  // A blank document in the middle and one at the end (the build's list of
  // tables ends before it); each document keeps its own ExpandLevel.
  const std::vector<DocumentRecord> documents = {Document("a", "0"), Document("blank", "0"),
                                                 Document("b", "1"), Document("tail", "0")};
  EXPECT_EQ(BuildMenuData(documents, {first, {}, second}),
            Data({Item("A", "a.htm", kH0), Item("|A1", "a.1.htm", kNC), Item("+B", "b.htm", kH0)}));
}

TEST(MenuData, TitlesAndFilesCannotBreakTheScript) {
  const struct {
    const char* title;
    const char* file;
    const char* item_name;  // as written, after the level marks
    const char* item_file;
  } cases[] = {
      {R"(Say "hi" \ bye)", "d.htm", R"(Say \"hi\" \\ bye)", "d.htm"},
      {"a\r\nb\tc", R"(q"\.htm)", R"(a\r\nb\u0009c)", R"(q\"\\.htm)"},
      // A leading mark character would be read as a level or expand mark.
      {"|pipe", "d.htm", "&#124;pipe", "d.htm"},
      {"+plus", "d.htm", "&#43;plus", "d.htm"},
      {"C++ &amp; <i>more</i>", "d.htm", "C++ &amp; <i>more</i>", "d.htm"},
  };
  for (const auto& c : cases) {
    const SectionTable table = Table({{"0", "Home", "h.htm", 1}, {"1", c.title, c.file}});
    EXPECT_EQ(
        BuildMenuData({Document("d", "0")}, {table}),
        Data({Item("Home", "h.htm", kH0), Item(std::string("|") + c.item_name, c.item_file, kNC)}))
        << c.title;
  }
}

// --- Writing the pages ---------------------------------------------------------------------------

// A template folder whose frameset pages show every placeholder name of all
// three lists, so each page shows which of them it fills.
class FramesetPages : public ::testing::Test {
 protected:
  static constexpr char kAllNames[] =
      "{charset}|{title}|{metakey}|{metadesc}|{linktop}|{linkleft}|{linkmain}|{logo}|{menu}";

  FramesetPages() {
    fs::create_directories(temp_.path() / "template/tfiles");
    for (const char* page : {"default.htm", "top.htm", "left.htm"}) {
      WriteBytes(temp_.path() / "template" / page, kAllNames);
    }
    fs::create_directories(temp_.path() / "out/tfiles");
    settings_ = project::DefaultProjectSettings();
    settings_.OutputDir = temp_.File("out") + "/";
    settings_.Charset = "utf-8";
    settings_.HeadTitle = "Site";
    settings_.MetaKey = "k";
    settings_.MetaDesc = "d";
    settings_.PageTopNav = "Home|/";
    settings_.Documents = {Document("a", "1"), Document("b", "1")};
  }

  std::string Folder() const { return temp_.File("template") + "/"; }
  std::string Out(const std::string& name) const { return temp_.File("out/" + name); }
  std::string Page(const std::string& name) const {
    return support::DecodeText(ReadBytes(Out(name)), support::EncodingAnsi);
  }

  TempDir temp_;
  ProjectSettings settings_;
};

TEST_F(FramesetPages, HomePageLinksTheFramesAndTheFirstDocumentWithPages) {
  const SectionTable a = Table({{"0", "A", "a.html"}});
  const SectionTable b = Table({{"0", "B", "b.html"}});
  settings_.FileExt = ".html";
  const struct {
    SiteSections sections;
    const char* main;
  } cases[] = {
      {{a, b}, "a.html"},
      {{{}, b}, "b.html"},  // the first document was skipped
      {{}, "about:blank"},  // every document was skipped
      {{{}, {}}, "about:blank"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteFramesetHome(settings_, Folder(), c.sections).ok());
    EXPECT_EQ(Page("default.html"),
              std::string("utf-8|Site|k|d|top.html|left.html|") + c.main + "|{logo}|{menu}");
  }
}

TEST_F(FramesetPages, TopPageHasTheMenuAndTheTemplateLogoWhenNoneIsSet) {
  for (const char* logo : {"", "/no/such/logo.png"}) {
    settings_.PageTopLogo = logo;
    ASSERT_TRUE(WriteTopFrame(settings_, Folder()).ok());
    EXPECT_EQ(
        Page("top.htm"),
        "utf-8|Site|k|d|{linktop}|{linkleft}|{linkmain}|tfiles/images/logo.gif|"
        R"(<div id="tessarine_menu"><ul><li><a href="/" target="_blank">Home</a></li></ul></div>)");
  }
  std::set<std::string> written;
  for (const auto& entry : fs::directory_iterator(temp_.path() / "out")) {
    written.insert(entry.path().filename().string());
  }
  EXPECT_EQ(written, (std::set<std::string>{"top.htm", "tfiles"}));  // no logo copied
}

// The logo goes under a name of its own, whatever it was called, so that it
// never replaces a page; a file that is no picture is refused.
TEST_F(FramesetPages, TheProjectLogoIsCopiedUnderItsOwnName) {
  fs::create_directories(temp_.path() / "art");
  const std::string png = std::string("\x89PNG\r\n\x1a\n", 8);
  const struct {
    const char* name;
    std::string bytes;
    const char* copy;
  } cases[] = {{"logo.png", png + "new", "top~logo.png"},
               {"doc1.htm", "GIF89a logo", "top~logo.gif"},
               {"my logo#2.png", "\xff\xd8\xff jpeg", "top~logo.jpg"}};
  for (const auto& c : cases) {
    WriteBytes(temp_.path() / "art" / c.name, c.bytes);
    WriteBytes(Out(c.copy), "an older logo, longer than the new one");
    WriteBytes(Out("doc1.htm"), "a page");
    settings_.PageTopLogo = temp_.File(std::string("art/") + c.name);
    settings_.PageTopNav = "";
    ASSERT_TRUE(WriteTopFrame(settings_, Folder()).ok()) << c.name;
    EXPECT_EQ(ReadBytes(Out(c.copy)), c.bytes);
    EXPECT_EQ(ReadBytes(Out("doc1.htm")), "a page");
    EXPECT_EQ(Page("top.htm"),
              std::string("utf-8|Site|k|d|{linktop}|{linkleft}|{linkmain}|") + c.copy + "|");
  }
  // A logo kept in the output folder itself stays as it is.
  settings_.PageTopLogo = Out("top~logo.png");
  ASSERT_TRUE(WriteTopFrame(settings_, Folder()).ok());
  EXPECT_EQ(ReadBytes(Out("top~logo.png")), png + "new");

  WriteBytes(temp_.File("art/passwd"), "root:x:0:0:root:/root:/bin/bash\n");
  settings_.PageTopLogo = temp_.File("art/passwd");
  const support::Status refused = WriteTopFrame(settings_, Folder());
  EXPECT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find(temp_.File("art/passwd")), std::string::npos);
  EXPECT_FALSE(fs::exists(Out("passwd")));
}

TEST_F(FramesetPages, LeftPageAndMenuDataReplaceEarlierFiles) {
  WriteBytes(Out("tfiles/dtree-data.js"), std::string(300, 'x'));  // the template's copy
  settings_.FileEncode = "1";
  settings_.HeadTitle = "\u6587\u6863";
  const SectionTable b = Table({{"0", "\u6587\u6863 B", "b.htm"}});
  ASSERT_TRUE(WriteMenuFrame(settings_, Folder(), {{}, b}).ok());
  EXPECT_EQ(ReadBytes(Out("left.htm")),
            "\xEF\xBB\xBFutf-8|\u6587\u6863|k|d|{linktop}|{linkleft}|{linkmain}|{logo}|{menu}");
  EXPECT_EQ(ReadBytes(Out("tfiles/dtree-data.js")),
            "\xEF\xBB\xBF" + Data({Item("+\u6587\u6863 B", "b.htm", kH0)}));
}

TEST_F(FramesetPages, WriteFailuresNameTheFile) {
  // Something other than a writable file where each file must go: fails even
  // as root.
  fs::create_directories(temp_.path() / "out/default.htm");
  fs::create_directories(temp_.path() / "out/top.htm");
  support::Status status = WriteFramesetHome(settings_, Folder(), {});
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find(Out("default.htm")), std::string::npos) << status.message();
  status = WriteTopFrame(settings_, Folder());
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find(Out("top.htm")), std::string::npos) << status.message();

  fs::remove(temp_.path() / "out/tfiles");
  WriteBytes(Out("tfiles"), "");
  status = WriteMenuFrame(settings_, Folder(), {});
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find(Out("tfiles/dtree-data.js")), std::string::npos)
      << status.message();
  EXPECT_TRUE(fs::exists(Out("left.htm")));  // written before the data

  // A logo that cannot be copied fails the build naming it.
  WriteBytes(temp_.File("logo.png"), "GIF89a");
  fs::create_directories(temp_.path() / "out/top~logo.gif");
  settings_.PageTopLogo = temp_.File("logo.png");
  status = WriteTopFrame(settings_, Folder());
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find(temp_.File("logo.png")), std::string::npos) << status.message();
}

TEST_F(FramesetPages, AMissingTemplatePageFailsNamingIt) {
  fs::remove(temp_.path() / "template/left.htm");
  const support::Status status = WriteMenuFrame(settings_, Folder(), {});
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find(Folder() + "left.htm"), std::string::npos) << status.message();
  EXPECT_FALSE(fs::exists(Out("left.htm")));
}

// --- The shipped default template ---------------------------------------------------------------

TEST(ShippedFramesetTemplate, PagesFillTheirPlaceholdersAndLoadTheMenuScriptFirst) {
  const fs::path folder = fs::path(TESSARINE_SOURCE_DIR) / "template/default";
  const struct {
    const char* page;
    std::vector<std::string> placeholders;
  } cases[] = {
      {"default.htm",
       {"{charset}", "{title}", R"(name="tessarine_top" src="{linktop}")",
        R"(name="tessarine_left" src="{linkleft}")", R"(name="tessarine_main" src="{linkmain}")"}},
      {"top.htm", {"{charset}", "{title}", R"(src="{logo}")", "{menu}"}},
      {"left.htm", {"{charset}", "{title}", R"(data-target="tessarine_main")"}},
  };
  for (const auto& c : cases) {
    const std::string text = ReadBytes(folder / c.page);
    for (const char ch : text) ASSERT_LT(static_cast<unsigned char>(ch), 0x80) << c.page;
    for (const std::string& placeholder : c.placeholders) {
      EXPECT_NE(text.find(placeholder), std::string::npos) << c.page << ": " << placeholder;
    }
  }
  // The data refers to the names the script defines.
  const std::string left = ReadBytes(folder / "left.htm");
  EXPECT_LT(left.find("tfiles/tree-menu.js"), left.find("tfiles/dtree-data.js"));
  const std::string script = ReadBytes(folder / "tfiles/tree-menu.js");
  for (const char* set : {"H0", "HC", "NC"}) {
    for (const char* name :
         {"iconNormal", "iconOver", "iconExpanded", "itemStyleInd", "itemXPStyleInd"}) {
      EXPECT_NE(script.find("var " + std::string(set) + name + " = "), std::string::npos)
          << set << name;
    }
  }
  EXPECT_EQ(ReadBytes(folder / "tfiles/images/logo.gif").substr(0, 6), "GIF89a");
}

}  // namespace
}  // namespace tessarine::site
