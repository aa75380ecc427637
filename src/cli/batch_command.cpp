#include "cli/batch_command.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "batch/run_batch.h"
#include "cli/cli.h"
#include "cli/console.h"
#include "site/build_site.h"

namespace tessarine::cli {
namespace {

namespace fs = std::filesystem;

constexpr int kBarDone = 100;

// The run's progress on the console bar, in whole percent.
class BatchConsole : public batch::BatchProgress {
 public:
  explicit BatchConsole(ConsoleProgress& bar) : bar_(bar) {}
  void SetValue(double value) override { bar_.SetValue(static_cast<int>(std::floor(value))); }
  void SetState(std::string_view state) override { bar_.SetState(state); }

 private:
  ConsoleProgress& bar_;
};

std::optional<bool> OnOff(std::string_view value) {
  if (value == "on" || value == "1" || value == "yes") return true;
  if (value == "off" || value == "0" || value == "no") return false;
  return std::nullopt;
}

bool* FlagOf(batch::BatchSettings& s, std::string_view option) {
  struct Flag {
    std::string_view option;
    bool batch::BatchSettings::*field;
  };
  static constexpr Flag kFlags[] = {
      {"--opt1-vml", &batch::BatchSettings::Opt1VML},
      {"--opt1-absolute", &batch::BatchSettings::Opt1Absolute},
      {"--opt1-eq", &batch::BatchSettings::Opt1EQ},
      {"--opt1-margin", &batch::BatchSettings::Opt1Margin},
      {"--opt1-space", &batch::BatchSettings::Opt1Space},
      {"--opt2-image", &batch::BatchSettings::Opt2Image},
      {"--opt2-table", &batch::BatchSettings::Opt2Table},
      {"--opt2-eq", &batch::BatchSettings::Opt2EQ},
      {"--opt2-indent", &batch::BatchSettings::Opt2Indent},
      {"--opt2-ptobr", &batch::BatchSettings::Opt2PtoBR},
      {"--page-width", &batch::BatchSettings::OptPageWidth},
      {"--page-margin", &batch::BatchSettings::OptPageMargin},
      {"--page-effect", &batch::BatchSettings::OptPageEffect},
  };
  for (const Flag& flag : kFlags) {
    if (flag.option == option) return &(s.*flag.field);
  }
  return nullptr;
}

}  // namespace

std::optional<std::string> ApplyBatchOption(BatchRequest& request, std::string_view option,
                                            std::string_view value) {
  batch::BatchSettings& s = request.settings;
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about the
  // same text built with operator+.
  const auto bad = [&](std::string_view expected) {
    std::string message(option);
    message.append(" takes ").append(expected).append(", not '").append(value).append("'");
    return message;
  };
  if (option == "--output") {
    std::error_code ec;
    const fs::path folder = fs::absolute(fs::path(std::string(value)), ec);
    s.OutputDir = ec ? std::string(value) : folder.string();
  } else if (option == "--ext") {
    s.FileExt = value;
  } else if (option == "--charset") {
    s.Charset = value;
  } else if (option == "--encoding") {
    // FileEncode is "0" or "1"; made from a character because GCC 12 warns
    // falsely (-Wrestrict) about assigning the one-letter literal here.
    if (value == "ansi" || value == "ANSI") {
      s.FileEncode = std::string(1, '0');
    } else if (value == "utf-8" || value == "UTF-8" || value == "utf8") {
      s.FileEncode = std::string(1, '1');
    } else {
      return bad("ansi or utf-8");
    }
  } else if (option == "--names") {
    if (value == "file") {
      s.NameRule = batch::FileNameRule::kDocumentName;
    } else if (value == "number") {
      s.NameRule = batch::FileNameRule::kNumber;
    } else {
      return bad("file or number");
    }
  } else if (option == "--mode") {
    if (value != "0" && value != "1" && value != "2") return bad("0, 1 or 2");
    s.OptimizeMode = value[0] - '0';
  } else if (option == "--jobs") {
    const std::optional<unsigned> jobs = ParseJobs(value);
    if (!jobs) return bad(std::string("a number from 1 to ").append(std::to_string(kMaxJobs)));
    request.jobs = *jobs;
  } else if (option == "--shard") {
    request.shard = batch::ParseShard(value);
    if (!request.shard) return bad("K/N with 1 <= K <= N");
  } else if (option == "--files-from") {
    request.files_from = std::string(value);
  } else if (bool* flag = FlagOf(s, option)) {
    const std::optional<bool> on = OnOff(value);
    if (!on) return bad("on or off");
    *flag = *on;
  } else {
    return std::string("unknown option ").append(option);
  }
  return std::nullopt;
}

std::optional<std::string> ReadDocumentList(BatchRequest& request, std::istream& standard_input) {
  if (!request.files_from) return std::nullopt;
  const std::string& name = *request.files_from;
  std::ifstream file;
  if (name != "-") {
    errno = 0;
    file.open(name, std::ios::binary);
    if (!file) {
      return "cannot read the list " + name + ": " +
             (errno != 0 ? std::strerror(errno) : "cannot be opened");
    }
  }
  std::istream& in = name == "-" ? standard_input : file;
  const char separator = request.null_separated ? '\0' : '\n';
  std::vector<std::string>& documents = request.settings.Documents;
  for (std::string entry; std::getline(in, entry, separator);) {
    if (!entry.empty()) documents.push_back(std::move(entry));
  }
  if (in.bad()) return "cannot read the list " + name;
  return std::nullopt;
}

int RunBatchRequest(BatchRequest request, std::ostream& out, std::ostream& err) {
  if (auto failure = batch::ValidateBatch(request.settings)) {
    err << ForTerminal(failure->message) << "\n";
    return kExitFailure;
  }
  // The whole list was checked; the run converts the shard's slice of it.
  batch::ListSlice slice;
  if (request.shard) {
    slice = batch::TakeShard(request.settings.Documents, *request.shard);
    if (request.settings.Documents.empty()) {
      out << "shard " << request.shard->index << "/" << request.shard->count << " of "
          << slice.total << " documents is empty\n";
      return kExitOk;
    }
  }
  ConsoleProgress bar(out, IsTerminal(out));
  BatchConsole progress(bar);
  bar.SetValue(0);
  batch::BatchOutcome outcome;
  {
    InterruptStopsRun interrupt;
    outcome = batch::RunBatch(request.settings, progress, InterruptStopsRun::stop_requested(),
                              request.jobs, slice);
  }
  if (outcome.ok()) {
    bar.SetValue(kBarDone);
    bar.SetState(site::kStateDone);
  }
  bar.Finish();
  for (const support::Diagnostic& note : outcome.diagnostics) {
    err << "tessarine: warning: " << ForTerminal(note.Text()) << "\n";
  }
  if (!outcome.ok()) {
    err << site::kBuildFailedLead << "\n" << ForTerminal(outcome.status.message()) << "\n";
    return kExitFailure;
  }
  out << batch::kBatchSucceeded << "\n";
  out << outcome.pages.size() << " page" << (outcome.pages.size() == 1 ? "" : "s") << " in "
      << request.settings.OutputDir << "\n";
  return kExitOk;
}

}  // namespace tessarine::cli
