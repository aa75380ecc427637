#include "cli/cli.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <set>
#include <string_view>
#include <vector>

#include "cli/batch_command.h"
#include "cli/build_command.h"
#include "cli/console.h"
#include "convert/conversion.h"
#include "project/document_list.h"
#include "project/project_file.h"
#include "project/project_settings.h"
#include "project/validation.h"
#include "site/build_site.h"
#include "support/files.h"

namespace tessarine::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kProgram = "tessarine";

// A command line after the command name: operands in order and the options
// given.
struct Invocation {
  std::vector<std::string> operands;
  std::set<std::string, std::less<>> options;
  std::map<std::string, std::string, std::less<>> values;  // of the options that take one
  std::istream* in = nullptr;                              // what `--files-from -` reads

  bool Has(std::string_view option) const { return options.contains(option); }
};

using CommandFunction = int (*)(const Invocation&, std::ostream& out, std::ostream& err);

struct Option {
  std::string_view name;  // "--force"
  std::string_view help;
  std::string_view value = {};  // the value's name in the usage line; empty for a switch
};

struct Command {
  std::string_view name;
  std::string_view operands;  // as shown in the usage line
  std::string_view summary;
  std::vector<Option> options;  // long options the command accepts
  size_t min_operands;
  size_t max_operands;  // kAnyNumber for no limit
  CommandFunction run;
};

constexpr size_t kAnyNumber = static_cast<size_t>(-1);

// The desktop program creates the default output folder when it starts; the
// commands that work on a project do the same, so a new project passes its
// own check. A folder that cannot be made is reported by the check.
void PrepareDefaultOutputFolder() {
  std::error_code ignored;
  fs::create_directories(support::DefaultOutputFolder(), ignored);
}

int RunNew(const Invocation& call, std::ostream& out, std::ostream& err) {
  const std::string& project_path = call.operands[0];
  std::error_code ec;
  if (fs::exists(fs::symlink_status(project_path, ec)) && !call.Has("--force")) {
    err << kProgram << ": " << project_path << " already exists (use --force to replace it)\n";
    return kExitFailure;
  }
  PrepareDefaultOutputFolder();
  project::ProjectSettings settings = project::DefaultProjectSettings();
  for (size_t i = 1; i < call.operands.size(); ++i) {
    // Made absolute here: the project must not depend on where it is opened.
    fs::path document = fs::absolute(fs::path(call.operands[i]), ec).lexically_normal();
    if (ec) document = fs::path(call.operands[i]);
    if (!support::IsDocumentFile(document.string(), "doc|docx")) {
      err << kProgram << ": warning: " << document.string()
          << " is not an existing .doc or .docx file\n";
    }
    project::AddDocumentRecord(settings, document.string());
  }
  if (support::Status saved = project::SaveProject(project_path, settings); !saved.ok()) {
    err << ForTerminal(saved.message()) << "\n";
    return kExitFailure;
  }
  out << "created " << project_path << " with " << settings.Documents.size() << " document"
      << (settings.Documents.size() == 1 ? "" : "s") << "\n";
  return kExitOk;
}

int RunCheck(const Invocation& call, std::ostream& out, std::ostream& err) {
  const std::string& project_path = call.operands[0];
  project::ProjectSettings settings = project::DefaultProjectSettings();
  if (support::Status loaded = project::LoadProject(project_path, settings); !loaded.ok()) {
    err << ForTerminal(loaded.message()) << "\n";
    return kExitFailure;
  }
  PrepareDefaultOutputFolder();
  if (auto failure = project::ValidateBuild(settings)) {
    err << ForTerminal(failure->message) << "\n";
    if (failure->document > 0) {
      const project::DocumentRecord& record = settings.Documents[failure->document - 1];
      err << "(document " << failure->document << ": " << record.Path << ")\n";
    }
    return kExitFailure;
  }
  out << project_path << ": OK, " << settings.Documents.size() << " document"
      << (settings.Documents.size() == 1 ? "" : "s") << ", output to " << settings.OutputDir
      << "\n";
  return kExitOk;
}

int RunBuildCommand(const Invocation& call, std::ostream& out, std::ostream& err) {
  BuildRequest request{call.operands[0], std::nullopt, call.Has("--timings")};
  if (auto output = call.values.find("--output"); output != call.values.end()) {
    request.output_dir = output->second;
  }
  if (auto jobs = call.values.find("--jobs"); jobs != call.values.end()) {
    const std::optional<unsigned> value = ParseJobs(jobs->second);
    if (!value) {
      err << kProgram << ": --jobs " << jobs->second << ": expected a number from 1 to " << kMaxJobs
          << "\n";
      return kExitUsage;
    }
    request.jobs = *value;
  }
  return RunBuild(request, out, err);
}

// One document to Word HTML, the first step of every build: lets a user see
// (and a developer debug) exactly what the later stages will read.
int RunConvert(const Invocation& call, std::ostream& out, std::ostream& err) {
  const std::string& document = call.operands[0];
  const std::string& target = call.operands[1];
  const convert::ConvertOutcome outcome =
      convert::ConvertToWordHtml(document, target, {}, {}, site::AllCores());
  // One document: its notes need not name it.
  for (const support::Diagnostic& note : outcome.diagnostics) {
    err << kProgram << ": warning: " << ForTerminal(note.message) << "\n";
  }
  if (!outcome.ok()) {
    err << ForTerminal(outcome.message()) << "\n";
    return kExitFailure;
  }
  const fs::path folder =
      fs::path(target).parent_path() / (fs::path(target).stem().string() + ".files");
  out << "wrote " << target << " and " << folder.string() << "/\n";
  return kExitOk;
}

int RunBatchCommand(const Invocation& call, std::ostream& out, std::ostream& err) {
  BatchRequest request;
  request.settings.Documents = call.operands;
  for (const auto& [option, value] : call.values) {
    if (auto problem = ApplyBatchOption(request, option, value)) {
      err << kProgram << ": " << *problem << "\n";
      return kExitUsage;
    }
  }
  request.null_separated = call.Has("-0");
  if (request.null_separated && !request.files_from) {
    err << kProgram << ": -0 reads the --files-from list NUL-separated and needs one\n";
    return kExitUsage;
  }
  if (call.operands.empty() && !request.files_from) {
    err << kProgram << ": no documents given (name them or use --files-from)\n";
    return kExitUsage;
  }
  if (auto problem = ReadDocumentList(request, *call.in)) {
    err << kProgram << ": " << *problem << "\n";
    return kExitFailure;
  }
  if (!call.values.contains("--output")) PrepareDefaultOutputFolder();
  return RunBatchRequest(std::move(request), out, err);
}

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"new",
       "PROJECT.tsn [DOCUMENT...]",
       "create a project with default settings and one record per document",
       {{"--force", "replace an existing project file"}},
       1,
       kAnyNumber,
       RunNew},
      {"check",
       "PROJECT.tsn",
       "open a project and run the checks a build starts with",
       {},
       1,
       1,
       RunCheck},
      {"convert",
       "DOCUMENT.docx OUT.htm",
       "convert one document to Word HTML: OUT.htm and the folder OUT.files/ beside it",
       {},
       2,
       2,
       RunConvert},
      {"build",
       "PROJECT.tsn",
       "build the project's site into its output folder",
       {{"--output", "build into DIR instead of the project's output folder", "DIR"},
        {"--timings", "print the time each stage took"},
        {"--jobs", "threads the build keeps busy (default: one per core; 1 builds on one)", "N"}},
       1,
       1,
       RunBuildCommand},
      {"batch",
       "[DOCUMENT...]",
       "convert every document into one cleaned page (the batch window's settings)",
       {{"--output", "write the pages into DIR (default: the program's output folder)", "DIR"},
        {"--ext", "page extension (default .htm)", "EXT"},
        {"--charset",
         "charset written into each page's meta element, empty keeps Word's "
         "(default gb2312)",
         "NAME"},
        {"--encoding", "file encoding of the pages (default ansi)", "ansi|utf-8"},
        {"--names", "page names: the document's file name or its number (default file)",
         "file|number"},
        {"--mode", "0 no clean-up, 1 selective, 2 all-clear (default 1)", "0|1|2"},
        {"--opt1-vml", "selective: keep the picture fallback of VML (default on)", "on|off"},
        {"--opt1-absolute", "selective: remove absolute positions (default on)", "on|off"},
        {"--opt1-eq", "selective: equation pictures on the line (default on)", "on|off"},
        {"--opt1-margin", "selective: no negative left margins (default on)", "on|off"},
        {"--opt1-space", "selective: remove empty paragraphs (default off)", "on|off"},
        {"--opt2-image", "all-clear: keep pictures (default on)", "on|off"},
        {"--opt2-table", "all-clear: keep and style tables (default on)", "on|off"},
        {"--opt2-eq", "all-clear: keep equation pictures (default on)", "on|off"},
        {"--opt2-indent", "all-clear: indent first lines (default off)", "on|off"},
        {"--opt2-ptobr", "all-clear: paragraphs become line breaks (default off)", "on|off"},
        {"--page-width", "wrap each page to its paper width (default off)", "on|off"},
        {"--page-margin", "with --page-width: the paper margins as padding (default off)",
         "on|off"},
        {"--page-effect", "with --page-width: a border around the page (default off)", "on|off"},
        {"--jobs", "documents converted at a time (default 1)", "N"},
        {"--files-from",
         "also convert the documents FILE names, one a line (- reads standard input)", "FILE"},
        {"-0", "the --files-from list is NUL-separated (find -print0)"},
        {"--shard",
         "convert only the K-th of N slices of the list sorted by path; numbers stay those of "
         "the whole list",
         "K/N"}},
       0,
       kAnyNumber,
       RunBatchCommand},
  };
  return commands;
}

std::string UsageLine(const Command& command) {
  // Appended piece by piece: GCC 12 at -O3 misreads `" [" + std::string(...)`
  // as an overlapping copy (-Wrestrict).
  std::string line(kProgram);
  line.append(" ").append(command.name);
  for (const Option& option : command.options) {
    line.append(" [").append(option.name);
    if (!option.value.empty()) line.append(" ").append(option.value);
    line.append("]");
  }
  if (!command.operands.empty()) line.append(" ").append(command.operands);
  return line;
}

void PrintHelp(std::ostream& out) {
  out << "Usage: " << kProgram << " COMMAND [OPTIONS] [ARGUMENTS]\n"
      << "Turns Word documents into a web site.\n\nCommands:\n";
  for (const Command& command : Commands()) {
    out << "  " << UsageLine(command) << "\n      " << command.summary << "\n";
    for (const Option& option : command.options) {
      out << "      " << option.name << ": " << option.help << "\n";
    }
  }
  out << "\nOptions:\n"
      << "  --help      show this help, or a command's usage after the command\n"
      << "  --version   show the version\n\n"
      << "Templates are looked up in $TESSARINE_HOME/template/ when TESSARINE_HOME is set.\n"
      << "Exit status: 0 success, 1 failure, 2 wrong command line.\n"
      << "The manual page tessarine(1) describes every command and option.\n";
}

int UsageError(std::ostream& err, const std::string& problem) {
  err << kProgram << ": " << problem << "\nTry '" << kProgram << " --help'.\n";
  return kExitUsage;
}

}  // namespace

std::optional<unsigned> ParseJobs(std::string_view value) {
  unsigned jobs = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), jobs);
  if (ec != std::errc() || end != value.data() + value.size() || jobs == 0 || jobs > kMaxJobs) {
    return std::nullopt;
  }
  return jobs;
}

int RunCli(std::span<const std::string> args, std::ostream& out, std::ostream& err,
           std::istream& in) {
  if (args.empty()) return UsageError(err, "no command given");
  const std::string& first = args[0];
  if (first == "--help" || first == "-h" || first == "help") {
    PrintHelp(out);
    return kExitOk;
  }
  if (first == "--version") {
    out << kProgram << " " << TESSARINE_VERSION << "\n";
    return kExitOk;
  }

  const Command* command = nullptr;
  for (const Command& candidate : Commands()) {
    if (candidate.name == first) command = &candidate;
  }
  if (command == nullptr) return UsageError(err, "unknown command '" + first + "'");

  Invocation call;
  call.in = &in;
  bool options_ended = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      call.operands.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help" || arg == "-h") {
      out << "Usage: " << UsageLine(*command) << "\n" << command->summary << "\n";
      return kExitOk;
    } else if (const auto option =
                   std::find_if(command->options.begin(), command->options.end(),
                                [&](const Option& known) { return known.name == arg; });
               option != command->options.end()) {
      call.options.insert(arg);
      if (!option->value.empty()) {
        if (++i == args.size()) return UsageError(err, arg + " needs a value");
        call.values[arg] = args[i];
      }
    } else {
      return UsageError(err, "unknown option '" + arg + "' for " + std::string(command->name));
    }
  }
  if (call.operands.size() < command->min_operands ||
      call.operands.size() > command->max_operands) {
    return UsageError(err, "usage: " + UsageLine(*command));
  }
  return command->run(call, out, err);
}

}  // namespace tessarine::cli
