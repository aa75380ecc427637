// .doc input through LibreOffice: a real document converts with its text,
// and every way LibreOffice can be missing, fail or hang ends in the step's
// message with no process of it left running and no scratch files left
// behind. Stand-in "soffice" scripts play LibreOffice where its behaviour
// has to be forced; the real one converts the real documents (the build
// installs it).
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "convert/conversion.h"
#include "support/regex.h"
#include "support/text_file.h"
#include "test_support.h"

namespace tessarine::convert {
// Steps by their labels in failure messages.
void PrintTo(ConvertStep step, std::ostream* os) {
  *os << StepLabel(step);
}

namespace {

namespace fs = std::filesystem;
using tessarine::support::StatusCode;
using tessarine::testing::ReadBytes;
using tessarine::testing::SharedDir;
using tessarine::testing::TempDir;
using tessarine::testing::WriteBytes;

fs::path DocCorpus() {
  return SharedDir() / "corpus/doc";
}

struct Converted {
  ConvertOutcome outcome;
  std::vector<ConvertStep> steps;
  std::chrono::milliseconds took{0};
};

Converted Convert(const fs::path& document, const std::string& target,
                  const LegacyDocOptions& options) {
  Converted run;
  const auto start = std::chrono::steady_clock::now();
  run.outcome = ConvertToWordHtml(
      document.string(), target,
      [&](ConvertStep step) {
        run.steps.push_back(step);
        return support::Status::Ok();
      },
      options);
  run.took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  return run;
}

bool StartsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// An executable stand-in for soffice in `dir`.
std::string FakeSoffice(const TempDir& dir, const std::string& body) {
  const std::string path = dir.File("soffice");
  WriteBytes(path, "#!/bin/sh\n" + body);
  fs::permissions(path, fs::perms::owner_all);
  return path;
}

// Options whose scratch folders go to `scratch` (so a test can see that
// they are removed again).
LegacyDocOptions Options(const fs::path& scratch, std::string soffice = "soffice",
                         std::chrono::milliseconds limit = std::chrono::milliseconds(0)) {
  LegacyDocOptions options;
  options.soffice = std::move(soffice);
  options.time_limit = limit;
  options.scratch_parent = scratch.string();
  fs::create_directories(scratch);
  return options;
}

bool IsEmptyFolder(const fs::path& folder) {
  return fs::is_directory(folder) && fs::is_empty(folder);
}

// A process counts as gone when it no longer exists or has ended and only
// waits to be reaped (a zombie runs nothing).
bool ProcessGone(const std::string& pid) {
  std::ifstream stat("/proc/" + pid + "/stat");
  if (!stat) return true;
  std::string line;
  std::getline(stat, line);
  const size_t close = line.rfind(')');
  return close == std::string::npos || close + 2 >= line.size() || line[close + 2] == 'Z';
}

bool GoneWithin(const std::string& pid, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!ProcessGone(pid)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Processes still running whose command line mentions `text`.
std::vector<std::string> ProcessesMentioning(const std::string& text) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string pid = entry.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(entry.path() / "cmdline", std::ios::binary);
    std::string command((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (command.find(text) != std::string::npos && !ProcessGone(pid)) found.push_back(pid);
  }
  return found;
}

std::string ReadLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

const std::vector<ConvertStep> kAllSteps = {ConvertStep::kConverterStarted,
                                            ConvertStep::kDocumentOpened, ConvertStep::kSaved};

// --- The real LibreOffice ----------------------------------------------------

TEST(DocThroughLibreOffice, ARealDocumentConvertsWithItsTextAndLeavesNothingBehind) {
  TempDir temp;
  const fs::path scratch = temp.path() / "scratch";
  // A Chinese name: LibreOffice must not depend on the locale to find it.
  const Converted run =
      Convert(DocCorpus() / "chatchat__行标编制说明（核电厂定期安全审查 第12部分：设计）.doc",
              temp.File("page.htm"), Options(scratch));
  ASSERT_TRUE(run.outcome.ok()) << run.outcome.message();
  EXPECT_EQ(run.steps, kAllSteps);
  EXPECT_TRUE(fs::is_directory(temp.path() / "page.files"));
  const std::string html = support::ReadTextFile(temp.File("page.htm"));
  const auto text = support::RegexpReplace(html, "<[^>]*>", "");
  ASSERT_TRUE(text.ok());
  EXPECT_NE(text->find("本标准来源于国家能源局2021年下达的能源行业核电标准制修订计划"),
            std::string::npos);
  EXPECT_NE(html.find("<meta http-equiv=Content-Type content=\"text/html; charset=gb2312\">"),
            std::string::npos);
  EXPECT_TRUE(IsEmptyFolder(scratch)) << "the scratch folder was not removed";
  EXPECT_EQ(ProcessesMentioning(scratch.string()), std::vector<std::string>{});
}

TEST(DocThroughLibreOffice, AnEncryptedDocumentFailsToOpenWithTheReason) {
  TempDir temp;
  const fs::path scratch = temp.path() / "scratch";
  const Converted run =
      Convert(DocCorpus() / "poi__PasswordProtected.doc", temp.File("page.htm"), Options(scratch));
  EXPECT_EQ(run.outcome.status.code(), StatusCode::kOpenFailed);
  EXPECT_TRUE(StartsWith(run.outcome.status.reason(), "LibreOffice could not read the document"))
      << run.outcome.message();
  EXPECT_NE(run.outcome.message().find("password-protected"), std::string::npos);
  EXPECT_EQ(run.steps, std::vector<ConvertStep>{ConvertStep::kConverterStarted});
  EXPECT_FALSE(fs::exists(temp.path() / "page.htm"));
  EXPECT_TRUE(IsEmptyFolder(scratch));
  EXPECT_EQ(ProcessesMentioning(scratch.string()), std::vector<std::string>{});
}

// --- Stand-ins ---------------------------------------------------------------

TEST(DocThroughLibreOffice, WithoutLibreOfficeADocFailsToStartNamingThePackage) {
  TempDir temp;
  const fs::path document = DocCorpus() / "poi__Lists.doc";
  const std::string expected_start = "LibreOffice is needed";

  // A program path that does not exist, and a name that is on no PATH.
  for (const std::string& program :
       {temp.File("no-such-dir/soffice"), std::string("tessarine-no-such-soffice")}) {
    SCOPED_TRACE(program);
    const Converted run =
        Convert(document, temp.File("a.htm"), Options(temp.path() / "s", program));
    EXPECT_EQ(run.outcome.status.code(), StatusCode::kConverterMissing);
    EXPECT_TRUE(StartsWith(run.outcome.status.reason(), expected_start)) << run.outcome.message();
    EXPECT_NE(run.outcome.message().find(kLibreOfficePackage), std::string::npos);
    EXPECT_EQ(run.steps, std::vector<ConvertStep>{}) << "fails before the first step";
  }

  // The default program, looked up on a PATH that lacks it.
  const std::string saved_path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  fs::create_directories(temp.path() / "empty-bin");
  setenv("PATH", (temp.path() / "empty-bin").c_str(), 1);
  const Converted run = Convert(document, temp.File("b.htm"), Options(temp.path() / "s"));
  setenv("PATH", saved_path.c_str(), 1);
  EXPECT_EQ(run.outcome.status.code(), StatusCode::kConverterMissing);
  EXPECT_TRUE(StartsWith(run.outcome.status.reason(), expected_start)) << run.outcome.message();
  EXPECT_NE(run.outcome.message().find("\"soffice\""), std::string::npos);
  EXPECT_FALSE(fs::exists(temp.path() / "b.htm"));
}

// A text file named .doc is refused at once: LibreOffice is never started
// (it would open the text as a document).
TEST(DocThroughLibreOffice, AFileThatIsNoWordDocumentFailsToOpenWithoutLibreOffice) {
  TempDir temp;
  const std::string ran = temp.File("soffice-ran");
  const std::string soffice = FakeSoffice(temp, "touch '" + ran + "'\n");
  struct Case {
    std::string name;
    std::string bytes;
  };
  const Case cases[] = {
      {"notes.doc", "Just some text that was renamed.\n"},
      {"empty.DOC", ""},
      {"rtf.doc", "{\\rtf1\\ansi Hello}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(temp.File(c.name), c.bytes);
    const Converted run =
        Convert(temp.File(c.name), temp.File("a.htm"), Options(temp.path() / "s", soffice));
    EXPECT_EQ(run.outcome.status.code(), StatusCode::kOpenFailed);
    EXPECT_TRUE(StartsWith(run.outcome.status.reason(), "the file is not a Word document"))
        << run.outcome.message();
    EXPECT_EQ(run.steps, std::vector<ConvertStep>{ConvertStep::kConverterStarted});
    EXPECT_LT(run.took, std::chrono::seconds(1));
  }
  EXPECT_FALSE(fs::exists(temp.File("a.htm")));
  EXPECT_FALSE(fs::exists(ran)) << "LibreOffice was started for a file that is no Word document";
}

// The stand-in does what LibreOffice does (a .docx of the given name in the
// --outdir folder) and records how it was called: the profile, the
// temporary folder and the output all lie in the scratch folder, which is
// gone afterwards. A .docx that was only renamed .doc needs no LibreOffice.
TEST(DocThroughLibreOffice, LibreOfficeWorksInAScratchFolderThatIsRemovedAfterwards) {
  TempDir temp;
  const fs::path docx = SharedDir() / "corpus/docx/poi__bookmarks.docx";
  const std::string soffice = FakeSoffice(temp,
                                          "out=''; input=''\n"
                                          "while [ $# -gt 0 ]; do\n"
                                          "  case \"$1\" in\n"
                                          "    --outdir) out=\"$2\"; shift ;;\n"
                                          "    -env:UserInstallation=*) echo \"$1\" > '" +
                                              temp.File("profile") +
                                              "' ;;\n"
                                              "    -*|docx) ;;\n"
                                              "    *) input=\"$1\" ;;\n"
                                              "  esac\n"
                                              "  shift\n"
                                              "done\n"
                                              "echo \"$TMPDIR\" > '" +
                                              temp.File("tmpdir") +
                                              "'\n"
                                              "cmp -s \"$input\" '" +
                                              (DocCorpus() / "poi__Lists.doc").string() +
                                              "' || exit 3\n"
                                              "name=$(basename \"$input\" .doc)\n"
                                              "mkdir -p \"$out\" && cp '" +
                                              docx.string() + "' \"$out/$name.docx\"\n");
  const fs::path scratch = temp.path() / "scratch";
  const Converted run =
      Convert(DocCorpus() / "poi__Lists.doc", temp.File("page.htm"), Options(scratch, soffice));
  ASSERT_TRUE(run.outcome.ok()) << run.outcome.message();
  EXPECT_EQ(run.steps, kAllSteps);
  const std::string profile = ReadLine(temp.File("profile"));
  EXPECT_TRUE(StartsWith(profile, "-env:UserInstallation=file://" + scratch.string() + "/"))
      << profile;
  EXPECT_TRUE(StartsWith(ReadLine(temp.File("tmpdir")), scratch.string() + "/"));
  EXPECT_TRUE(IsEmptyFolder(scratch));
  // The stand-in's .docx is what was converted.
  EXPECT_NE(support::ReadTextFile(temp.File("page.htm")).find("bookmark"), std::string::npos);

  fs::copy_file(docx, temp.File("renamed.doc"));
  const Converted renamed = Convert(temp.File("renamed.doc"), temp.File("renamed.htm"),
                                    Options(scratch, temp.File("no-such-soffice")));
  EXPECT_TRUE(renamed.outcome.ok()) << renamed.outcome.message();
}

TEST(DocThroughLibreOffice, AFailingLibreOfficeIsAnOpenFailureWithItsReason) {
  TempDir temp;
  struct Case {
    std::string name;
    std::string script;
    std::string reason_start;
    std::string detail;
  };
  const Case cases[] = {
      {"no output, status 0, as for an encrypted document",
       "echo 'Error: source file could not be loaded'\n",
       "LibreOffice could not read the document; it may be damaged or password-protected",
       "(LibreOffice: Error: source file could not be loaded)"},
      {"killed by a signal", "kill -TERM $$\n", "LibreOffice ended abnormally (signal 15)", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path scratch = dir.path() / "scratch";
    const Converted run = Convert(DocCorpus() / "poi__Lists.doc", dir.File("page.htm"),
                                  Options(scratch, FakeSoffice(dir, c.script)));
    EXPECT_EQ(run.outcome.status.code(), StatusCode::kOpenFailed);
    EXPECT_TRUE(StartsWith(run.outcome.status.reason(), c.reason_start)) << run.outcome.message();
    EXPECT_NE(run.outcome.message().find(c.detail), std::string::npos) << run.outcome.message();
    EXPECT_EQ(run.steps, std::vector<ConvertStep>{ConvertStep::kConverterStarted});
    EXPECT_TRUE(IsEmptyFolder(scratch));
  }
}

// A LibreOffice that hangs is stopped at the time limit, with every process
// it started: the stand-in leaves a child of its own behind in the
// background, as LibreOffice's launcher does with its real process.
TEST(DocThroughLibreOffice, ATimeOutKillsTheWholeProcessGroup) {
  TempDir temp;
  const std::string soffice = FakeSoffice(temp,
                                          "sleep 60 &\n"
                                          "echo $! > '" +
                                              temp.File("child.pid") +
                                              "'\n"
                                              "echo $$ > '" +
                                              temp.File("script.pid") +
                                              "'\n"
                                              "wait\n");
  const fs::path scratch = temp.path() / "scratch";
  const Converted run = Convert(DocCorpus() / "poi__Lists.doc", temp.File("page.htm"),
                                Options(scratch, soffice, std::chrono::milliseconds(700)));
  EXPECT_EQ(run.outcome.status.code(), StatusCode::kOpenFailed);
  EXPECT_TRUE(StartsWith(run.outcome.status.reason(), "LibreOffice did not finish converting"))
      << run.outcome.message();
  EXPECT_EQ(run.steps, std::vector<ConvertStep>{ConvertStep::kConverterStarted});
  EXPECT_GE(run.took, std::chrono::milliseconds(700));
  EXPECT_LT(run.took, std::chrono::seconds(10));
  const std::string script = ReadLine(temp.File("script.pid"));
  const std::string child = ReadLine(temp.File("child.pid"));
  ASSERT_FALSE(script.empty());
  ASSERT_FALSE(child.empty());
  EXPECT_TRUE(GoneWithin(script, std::chrono::seconds(2))) << "the stand-in still runs";
  EXPECT_TRUE(GoneWithin(child, std::chrono::seconds(2))) << "its background child still runs";
  EXPECT_TRUE(IsEmptyFolder(scratch));
}

// A stop while LibreOffice runs ends it at once, with every process it
// started, and the conversion reports the stop rather than a failure.
TEST(DocThroughLibreOffice, AStopWhileItRunsKillsTheWholeProcessGroup) {
  TempDir temp;
  const std::string child_pid = temp.File("child.pid");
  const std::string soffice =
      FakeSoffice(temp, "sleep 60 &\necho $! > '" + child_pid + ".tmp'\nmv '" + child_pid +
                            ".tmp' '" + child_pid + "'\nwait\n");
  const fs::path scratch = temp.path() / "scratch";
  LegacyDocOptions options = Options(scratch, soffice, std::chrono::minutes(5));
  // The stop comes once the stand-in has started its background child.
  options.stop_requested = [&] { return fs::exists(child_pid); };
  const Converted run = Convert(DocCorpus() / "poi__Lists.doc", temp.File("page.htm"), options);
  EXPECT_TRUE(run.outcome.stopped()) << run.outcome.message();
  EXPECT_EQ(run.steps, std::vector<ConvertStep>{ConvertStep::kConverterStarted});
  const std::string child = ReadLine(child_pid);
  ASSERT_FALSE(child.empty());
  EXPECT_TRUE(GoneWithin(child, std::chrono::seconds(2))) << "its background child still runs";
  EXPECT_TRUE(IsEmptyFolder(scratch));
  EXPECT_FALSE(fs::exists(temp.File("page.htm")));
}

// A stop at the first step comes before LibreOffice would start.
TEST(DocThroughLibreOffice, AStopAtTheFirstStepStartsNothing) {
  TempDir temp;
  const std::string ran = temp.File("soffice-ran");
  const LegacyDocOptions options =
      Options(temp.path() / "s", FakeSoffice(temp, "touch '" + ran + "'\n"));
  const ConvertOutcome outcome =
      ConvertToWordHtml((DocCorpus() / "poi__Lists.doc").string(), temp.File("a.htm"),
                        [](ConvertStep) { return support::Status::Stopped(); }, options);
  EXPECT_TRUE(outcome.stopped());
  EXPECT_FALSE(fs::exists(ran));
}

}  // namespace
}  // namespace tessarine::convert
