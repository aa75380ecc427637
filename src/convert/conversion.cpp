#include "convert/conversion.h"

#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <unordered_set>
#include <utility>

#include "convert/docx_package.h"
#include "convert/word_html_writer.h"
#include "support/files.h"
#include "support/process.h"

extern char** environ;  // NOLINT: the process environment, handed to LibreOffice

namespace tessarine::convert {
namespace {

using support::Result;

using support::StatusCode;

ConvertOutcome Failed(StatusCode code, std::string reason,
                      std::vector<support::Diagnostic> diagnostics) {
  ConvertOutcome outcome;
  outcome.status = support::Status::Error(code, std::move(reason));
  outcome.diagnostics = std::move(diagnostics);
  return outcome;
}

ConvertOutcome Stopped(std::vector<support::Diagnostic> diagnostics) {
  ConvertOutcome outcome;
  outcome.status = support::Status::Stopped();
  outcome.diagnostics = std::move(diagnostics);
  return outcome;
}

bool Continue(const ConvertProgress& on_step, ConvertStep step) {
  return !on_step || on_step(step).ok();
}

// Each note as a warning about the document.
std::vector<support::Diagnostic> AboutDocument(const std::string& document,
                                               const std::vector<std::string>& notes) {
  std::vector<support::Diagnostic> diagnostics;
  diagnostics.reserve(notes.size());
  for (const std::string& note : notes) {
    diagnostics.push_back({support::Severity::kWarning, document, note, {}});
  }
  return diagnostics;
}

// The writer may or may not pass on what the package reader met; each note
// is kept once, the writer's first.
void AppendNew(std::vector<std::string>& into, const std::vector<std::string>& more) {
  std::unordered_set<std::string> seen(into.begin(), into.end());
  for (const std::string& note : more) {
    if (seen.insert(note).second) into.push_back(note);
  }
}

// A document large enough to exhaust memory, or a library that throws,
// must end this document's conversion with the step's message, never the
// program.
template <typename Step>
auto Guarded(Step&& step, std::string& failure) -> std::optional<decltype(step())> {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    failure = "not enough memory to convert the document";
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "unexpected internal error";
  }
  return std::nullopt;
}

// --- .doc through LibreOffice ------------------------------------------------

namespace fs = std::filesystem;

// What the conversion does with a document, by its name and first bytes.
enum class Route {
  kPackage,      // the package reader (a .docx, or a .doc that is one)
  kLibreOffice,  // a Word 97-2003 document: an OLE compound file
  kNotWord,      // named .doc but neither: refused before any program runs
};

constexpr std::string_view kOleSignature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr std::string_view kZipSignature = "PK\x03\x04";

Route RouteOf(const std::string& path) {
  if (!support::HasExtension(path, "doc|dot")) return Route::kPackage;
  std::ifstream in(path, std::ios::binary);
  // An unreadable file is left to the package reader, whose message names
  // the reason.
  if (!in) return Route::kPackage;
  char head[8] = {};
  in.read(head, sizeof head);
  const std::string_view bytes(head, static_cast<size_t>(in.gcount()));
  if (bytes == kOleSignature) return Route::kLibreOffice;
  if (bytes.starts_with(kZipSignature)) return Route::kPackage;
  return Route::kNotWord;
}

// A folder of this conversion's own under `parent` (empty: the system's
// temporary folder), removed with the object. Fails with the reason.
Result<support::ScratchFolder> MakeScratchFolder(const std::string& parent) {
  fs::path base = parent;
  if (base.empty()) {
    Result<fs::path> temporary = support::TemporaryFolder();
    if (!temporary) {
      return support::Status::Error(StatusCode::kIoFailed,
                                    "no temporary folder (" + temporary.status().reason() + ")");
    }
    base = *temporary;
  }
  Result<support::ScratchFolder> folder = support::ScratchFolder::Create(base, "tessarine-doc-");
  if (!folder) {
    return support::Status::Error(StatusCode::kIoFailed, "cannot create a scratch folder in " +
                                                             base.string() + " (" +
                                                             folder.status().reason() + ")");
  }
  return folder;
}

// A file: URL for a local path, as LibreOffice's -env: options take it.
std::string FileUrl(const fs::path& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path.string()) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 0xF];
    }
  }
  return url;
}

// LibreOffice's time for a document grows with its size; a stuck instance
// (a dialog nobody can answer, a loop on a damaged file) must not hold the
// build for ever.
std::chrono::milliseconds TimeLimitFor(const std::string& path, std::chrono::milliseconds given) {
  if (given.count() > 0) return given;
  std::error_code error;
  const std::uintmax_t bytes = fs::file_size(path, error);
  const std::uintmax_t megabytes = error ? 0 : (bytes + (1u << 20) - 1) >> 20;
  return std::chrono::minutes(2) + std::chrono::minutes(1) * static_cast<long>(megabytes);
}

// The first line of LibreOffice's output that reports an error, if any.
std::string ErrorLine(const std::string& log) {
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("Error")) return line;
  }
  return {};
}

struct LegacyStart {
  std::string program;  // the soffice found
  std::string failure;  // the reason after "CreateObject:", or empty
};

LegacyStart FindLibreOffice(const LegacyDocOptions& options) {
  LegacyStart start;
  if (std::optional<std::string> found = support::FindProgram(options.soffice)) {
    start.program = *found;
  } else {
    start.failure = "LibreOffice is needed to open .doc files, but its program \"" +
                    options.soffice +
                    "\" was not found. Install LibreOffice (on Debian and Ubuntu: " +
                    std::string(kLibreOfficePackage) + ") and try again.";
  }
  return start;
}

struct LegacyResult {
  std::string docx;          // LibreOffice's .docx, inside the scratch folder
  std::string failure;       // otherwise the reason
  bool not_started = false;  // the failure is LibreOffice's start
  bool stopped = false;      // the caller asked to stop while it ran
};

// LibreOffice turns the .doc into a .docx inside `scratch`. It works on a
// copy under a plain name: it writes lock files beside the document it
// opens, and decodes non-ASCII file names by the locale, which may not be
// UTF-8. Its profile and temporary files stay in the scratch folder too, so
// a user's own LibreOffice is neither touched nor reused.
LegacyResult ConvertWithLibreOffice(const std::string& document, const std::string& program,
                                    const LegacyDocOptions& options, const fs::path& scratch) {
  LegacyResult result;
  const fs::path input = scratch / "document.doc";
  const fs::path out = scratch / "out";
  const fs::path temporary = scratch / "tmp";
  std::error_code error;
  fs::copy_file(document, input, error);
  if (!error) fs::create_directories(temporary, error);
  if (error) {
    result.failure =
        "cannot copy the document to " + scratch.string() + " (" + error.message() + ")";
    return result;
  }
  const std::vector<std::string> args = {
      "-env:UserInstallation=" + FileUrl(scratch / "profile"),
      "--headless",
      "--invisible",
      "--nologo",
      "--norestore",
      "--nodefault",
      "--convert-to",
      "docx",
      "--outdir",
      out.string(),
      input.string(),
  };
  support::ProcessOptions run;
  for (char** var = environ; var != nullptr && *var != nullptr; ++var) {
    if (std::strncmp(*var, "TMPDIR=", 7) != 0) run.environment.emplace_back(*var);
  }
  run.environment.push_back("TMPDIR=" + temporary.string());
  run.time_limit = TimeLimitFor(document, options.time_limit);
  const std::string log = (scratch / "soffice.log").string();
  run.output_file = log;
  run.errors_to_output = true;
  run.stop_requested = options.stop_requested;
  const support::ProcessEnd end = support::RunProcess(program, args, run);
  if (end.stopped) {
    result.stopped = true;
    return result;
  }
  if (!end.started) {
    result.not_started = true;
    result.failure =
        "LibreOffice (" + program + ") could not be started: " + std::strerror(end.start_error);
    return result;
  }
  if (end.timed_out) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(run.time_limit).count();
    result.failure = "LibreOffice did not finish converting the document within " +
                     std::to_string(seconds) + " seconds and was stopped";
    return result;
  }
  const std::string said = ErrorLine(log);
  const std::string detail = said.empty() ? "" : " (LibreOffice: " + said + ")";
  if (end.signal != 0) {
    result.failure = "LibreOffice ended abnormally (signal " + std::to_string(end.signal) +
                     ") while converting the document" + detail;
    return result;
  }
  const fs::path docx = out / "document.docx";
  if (!fs::is_regular_file(docx, error) || fs::file_size(docx, error) == 0) {
    // LibreOffice reports a document it cannot load, an encrypted one
    // included, only on its output, and still ends with status 0.
    result.failure =
        "LibreOffice could not read the document; it may be damaged or password-protected" + detail;
    return result;
  }
  if (end.exit_code > 0) {
    result.failure = "LibreOffice could not convert the document (exit status " +
                     std::to_string(end.exit_code) + ")" + detail;
    return result;
  }
  result.docx = docx.string();
  return result;
}

}  // namespace

std::string_view StepLabel(ConvertStep step) {
  switch (step) {
    case ConvertStep::kConverterStarted:
      return "CreateObject(Word.Application)";
    case ConvertStep::kDocumentOpened:
      return "Word.Open";
    case ConvertStep::kSaved:
      return "Word.SaveAs";
  }
  return "";
}

int StepWeight(ConvertStep step) {
  return step == ConvertStep::kSaved ? 2 : 1;
}

namespace {

// The conversion up to the Word HTML writer, which `write` runs on the
// package read.
template <typename Write>
ConvertOutcome ConvertWith(const std::string& document_path, const ConvertProgress& on_step,
                           const LegacyDocOptions& legacy, unsigned threads, Write&& write) {
  const Route route = RouteOf(document_path);
  LegacyStart libreoffice;
  if (route == Route::kLibreOffice) {
    libreoffice = FindLibreOffice(legacy);
    if (!libreoffice.failure.empty())
      return Failed(StatusCode::kConverterMissing, libreoffice.failure, {});
  }
  if (!Continue(on_step, ConvertStep::kConverterStarted)) return Stopped({});

  if (route == Route::kNotWord) {
    return Failed(StatusCode::kOpenFailed,
                  "the file is not a Word document: it is named .doc but is neither a Word "
                  "97-2003 document (OLE compound file) nor a .docx package",
                  {});
  }
  // Holds LibreOffice's .docx while the package reads it.
  support::ScratchFolder scratch;
  std::string package_path = document_path;
  if (route == Route::kLibreOffice) {
    Result<support::ScratchFolder> made = MakeScratchFolder(legacy.scratch_parent);
    if (!made) return Failed(StatusCode::kOpenFailed, made.status().reason(), {});
    scratch = std::move(made).value();
    std::string failure;
    const auto converted = Guarded(
        [&] {
          return ConvertWithLibreOffice(document_path, libreoffice.program, legacy, scratch.path());
        },
        failure);
    if (!converted) return Failed(StatusCode::kOpenFailed, failure, {});
    if (converted->stopped) return Stopped({});
    if (converted->not_started)
      return Failed(StatusCode::kConverterMissing, converted->failure, {});
    if (!converted->failure.empty()) return Failed(StatusCode::kOpenFailed, converted->failure, {});
    package_path = converted->docx;
  }

  std::string failure;
  PackageLimits limits;
  limits.threads = threads;
  auto opened = Guarded([&] { return DocxPackage::Open(package_path, limits); }, failure);
  if (!opened) return Failed(StatusCode::kOpenFailed, failure, {});
  if (!opened->ok()) {
    const std::string& reason = opened->status().reason();
    return Failed(StatusCode::kOpenFailed,
                  route == Route::kLibreOffice
                      ? "the .docx LibreOffice made of the document cannot be read: " + reason
                      : reason,
                  {});
  }
  const DocxPackage& package = opened->value();
  if (!Continue(on_step, ConvertStep::kDocumentOpened))
    return Stopped(AboutDocument(document_path, package.diagnostics()));

  auto written = Guarded([&] { return write(package); }, failure);
  std::vector<std::string> diagnostics;
  if (written && written->ok()) diagnostics = written->value().diagnostics;
  AppendNew(diagnostics, package.diagnostics());
  std::vector<support::Diagnostic> found = AboutDocument(document_path, diagnostics);
  if (!written) return Failed(StatusCode::kSaveFailed, failure, std::move(found));
  if (!written->ok())
    return Failed(StatusCode::kSaveFailed, written->status().reason(), std::move(found));
  if (written->value().stopped) return Stopped(std::move(found));
  if (!Continue(on_step, ConvertStep::kSaved)) return Stopped(std::move(found));

  ConvertOutcome outcome;
  outcome.diagnostics = std::move(found);
  return outcome;
}

}  // namespace

ConvertOutcome ConvertToWordHtml(const std::string& document_path, const std::string& target_htm,
                                 const ConvertProgress& on_step, const LegacyDocOptions& legacy,
                                 unsigned threads) {
  return ConvertWith(document_path, on_step, legacy, threads, [&](const DocxPackage& package) {
    return WriteWordHtml(package, target_htm, legacy.stop_requested);
  });
}

ConvertOutcome ConvertToWordHtmlPage(const std::string& document_path, const std::string& htm_name,
                                     WordHtmlPage& page, const std::string& spill_folder,
                                     const ConvertProgress& on_step, const LegacyDocOptions& legacy,
                                     unsigned threads) {
  return ConvertWith(document_path, on_step, legacy, threads, [&](const DocxPackage& package) {
    return RenderWordHtmlPage(package, htm_name, page, spill_folder, legacy.stop_requested);
  });
}

}  // namespace tessarine::convert
